#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A private Xvfb for one benchmark run, stopped when this goes.
class BenchDisplay {
public:
    explicit BenchDisplay(const QString &screen);   // "1920x1080x24"
    ~BenchDisplay();
    // ":N", or empty when Xvfb did not start.
    QByteArray name() const { return m_name; }

private:
    QProcess m_process;
    QByteArray m_name;
};
