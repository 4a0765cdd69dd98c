#pragma once

#include <QByteArray>

// Sets (or, with a null value, unsets) one environment variable for its
// lifetime and restores what was there before, unset included.
class EnvOverride {
public:
    EnvOverride(const char *name, const QByteArray &value);
    ~EnvOverride();
    EnvOverride(const EnvOverride &) = delete;
    EnvOverride &operator=(const EnvOverride &) = delete;

private:
    const char *m_name;
    QByteArray m_saved;
    bool m_wasSet;
};
