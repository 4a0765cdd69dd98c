#include "InstanceLock.h"

#include "Preferences.h"
#include "TrackingLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

InstanceLock::InstanceLock()
    : m_path(defaultPath())
{
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString InstanceLock::defaultPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + u"/zimbrel/instance.lock"_s;
    return QFileInfo(Preferences::path()).absolutePath() + u"/instance.lock"_s;
}

InstanceLock::State InstanceLock::acquire()
{
    if (m_fd >= 0)
        return State::Held;
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        qCWarning(lcTracking, "cannot create %s; running without the one-instance guard", qUtf8Printable(folder));
        return State::Unavailable;
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        qCWarning(lcTracking, "cannot open %s (%s); running without the one-instance guard", qUtf8Printable(m_path),
                  std::strerror(errno));
        return State::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return State::TakenByAnother;
        qCWarning(lcTracking, "cannot lock %s (%s); running without the one-instance guard", qUtf8Printable(m_path),
                  std::strerror(error));
        return State::Unavailable;
    }
    m_fd = fd;
    return State::Held;
}
