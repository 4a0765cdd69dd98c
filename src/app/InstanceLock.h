#pragma once

#include <QString>

// The guard that keeps one zimbrel per session: flock(LOCK_EX | LOCK_NB) on
// $XDG_RUNTIME_DIR/zimbrel/instance.lock (else the preferences folder), held
// until the process ends. The kernel drops it when the holder dies, however
// it dies, so a crash never leaves a stale lock.
class InstanceLock {
public:
    enum class State { Held, TakenByAnother, Unavailable };

    InstanceLock();
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Tries once, without waiting.
    State acquire();
    QString path() const { return m_path; }

    static QString defaultPath();

private:
    QString m_path;
    int m_fd = -1;
};
