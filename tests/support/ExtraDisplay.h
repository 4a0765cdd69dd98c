#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A private Xvfb on a display number it picks itself, for one test or one
// benchmark run; stopped when this goes.
class ExtraDisplay {
public:
    explicit ExtraDisplay(const QString &screen);   // "3024x1964x24"
    ~ExtraDisplay();
    // ":N", or empty when Xvfb did not start.
    QByteArray name() const { return m_name; }
    // The server's process id (0 when it is not running).
    qint64 processId() const { return m_process.processId(); }
    // Stops the server now, the way a crashed or closed X session goes.
    void stop();

private:
    QProcess m_process;
    QByteArray m_name;
};
