#include "SharedSuite.h"

#include "TrackingLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace SharedSuite {

namespace {
constexpr qint64 maxDocumentBytes = 256LL * 1024 * 1024;
constexpr int keptUnreadableCopies = 3;

bool ensurePrivateDir(const QString &dir)
{
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) == 0)
        return true;
    if (errno == ENOENT) {
        // Parents (for example a missing $XDG_CONFIG_HOME) first.
        if (!QDir().mkpath(QFileInfo(dir).absolutePath()))
            return false;
        return ::mkdir(native.constData(), 0700) == 0 || errno == EEXIST;
    }
    struct stat st {};
    if (errno != EEXIST || ::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    // A folder made with a looser mode (by hand, by another tool) is tightened.
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::chmod(native.constData(), 0700);
    return true;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

QString snapshotPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString shared = config + u'/' + QLatin1StringView(suiteName);
    if (ensurePrivateDir(shared))
        return shared + u'/' + QLatin1StringView(snapshotKey);
    const QString own = config + u"/zimbrel"_s;
    ensurePrivateDir(own);
    return own + u'/' + QLatin1StringView(snapshotKey);
}

Document read(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Document{} : Document{Document::State::failed, {}, errnoText()};
    if (!S_ISREG(st.st_mode))
        return {Document::State::notAFile, {}, {}};
    if (st.st_size > maxDocumentBytes)
        return {Document::State::read, {}, {}}; // present but unusable
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {Document::State::failed, {}, file.errorString()};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {Document::State::failed, {}, file.errorString()};
    return {Document::State::read, std::move(bytes), {}};
}

bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = QFile::encodeName(info.absolutePath() + u"/."_s + info.fileName() + u".XXXXXX"_s);

    const int fd = ::mkostemp(temp.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) {
        *error = errnoText();
        return false;
    }
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = errnoText();
            ::close(fd);
            ::unlink(temp.constData());
            return false;
        }
        written += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        *error = errnoText();
        ::unlink(temp.constData());
        return false;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        *error = errnoText();
        ::unlink(temp.constData());
        return false;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

QString moveAside(const QString &path)
{
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss"_s);
    QString aside = path + u".unreadable-"_s + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + u".unreadable-"_s + stamp + u'-' + QString::number(n);
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0)
        return {};

    QDir dir = info.absoluteDir();
    const QStringList copies = dir.entryList({info.fileName() + u".unreadable-*"_s},
                                             QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                             QDir::Time);
    for (qsizetype i = keptUnreadableCopies; i < copies.size(); ++i) {
        const QString old = dir.filePath(copies.at(i));
        if (!QFile::remove(old))
            QDir(old).removeRecursively();
    }
    return aside;
}

Lock::Lock(const QString &snapshotPath)
{
    const QByteArray lockPath = QFile::encodeName(snapshotPath + u".lock"_s);
    m_fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        qCWarning(lcTracking) << "snapshot lock unavailable:" << errnoText();
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            qCWarning(lcTracking) << "snapshot lock failed:" << errnoText();
            break;
        }
    }
}

Lock::~Lock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the flock
}

} // namespace SharedSuite
