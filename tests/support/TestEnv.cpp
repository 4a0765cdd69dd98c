#include "TestEnv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

namespace TestEnv {

namespace {
const char *const names[3] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"};
const char *const folders[3] = {"/config", "/data", "/state"};
} // namespace

IsolatedHome::IsolatedHome()
{
    for (int i = 0; i < 3; ++i) {
        m_saved[i] = qgetenv(names[i]);
        const QString dir = m_dir.path() + QLatin1StringView(folders[i]);
        QDir().mkpath(dir);
        qputenv(names[i], QFile::encodeName(dir));
    }
}

IsolatedHome::~IsolatedHome()
{
    for (int i = 0; i < 3; ++i) {
        // Restore only what still points at our folders: a newer home made
        // before this one died stays in force.
        if (!qgetenv(names[i]).startsWith(QFile::encodeName(m_dir.path())))
            continue;
        if (m_saved[i].isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], m_saved[i]);
    }
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

QString buildPath(const QString &relative)
{
    return QStringLiteral(ZIMBREL_BINARY_DIR "/") + relative;
}

QString sourcePath(const QString &relative)
{
    return QStringLiteral(ZIMBREL_SOURCE_DIR "/") + relative;
}

} // namespace TestEnv
