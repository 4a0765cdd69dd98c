#pragma once

#include "TestEnv.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// A dbus-daemon of the test's own that lists no service folders, so nothing
// is activated on it (or only the services of `serviceDir`). start() points
// DBUS_SESSION_BUS_ADDRESS at it; call it before anything in the process
// touches the session bus.
class PrivateBus {
public:
    ~PrivateBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }

    QByteArray start(const QString &serviceDir = {})
    {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir=" +
                QFile::encodeName(m_dir.path()) +
                "</listen>" + (serviceDir.isEmpty() ? QByteArray() : "<servicedir>" + QFile::encodeName(serviceDir) + "</servicedir>") +
                "<auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"),
                                                       QStringLiteral("--config-file=") + config,
                                                       QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000) || !TestEnv::waitFor([this] { return m_daemon.canReadLine(); }, 5000))
            return {};
        const QByteArray address = m_daemon.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        return address;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};
