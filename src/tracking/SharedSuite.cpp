#include "SharedSuite.h"

#include "PrivateFiles.h"
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

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

QString snapshotPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString shared = config + u'/' + QLatin1StringView(suiteName);
    if (PrivateFiles::makeFolder(shared))
        return shared + u'/' + QLatin1StringView(snapshotKey);
    const QString own = config + u"/zimbrel"_s;
    PrivateFiles::makeFolder(own);
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

void removeStaleTemporaries(const QString &path, int age)
{
    const QFileInfo info(path);
    QDir dir = info.absoluteDir();
    // Exactly the names writeAtomically makes: "." + name + "." + six characters.
    const QString prefix = u'.' + info.fileName() + u'.';
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-age);
    // Matched by hand rather than by a wildcard filter, which would compile a
    // regular expression and map the whole expression engine for this alone.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix))
            continue;
        const QString file = dir.filePath(name);
        const QFileInfo temp(file);
        if (temp.isSymLink() || temp.lastModified().toUTC() > cutoff)
            continue;
        if (::unlink(QFile::encodeName(file).constData()) == 0)
            qCInfo(lcTracking, "removed %s, left by an interrupted write", qUtf8Printable(name));
    }
}

Lock::Lock(const QString &snapshotPath)
{
    const QString path = snapshotPath + u".lock"_s;
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        const int error = errno; // before anything else can change it
        m_error = u"cannot open %1: %2"_s.arg(path, errnoText(error));
        qCWarning(lcTracking, "snapshot lock unavailable: %s", qUtf8Printable(m_error));
        return;
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        const int error = errno;
        if (error != EINTR) {
            m_error = u"cannot lock %1: %2"_s.arg(path, errnoText(error));
            qCWarning(lcTracking, "snapshot lock failed: %s", qUtf8Printable(m_error));
            return;
        }
    }
    m_held = true;
}

Lock::~Lock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the flock
}

} // namespace SharedSuite
