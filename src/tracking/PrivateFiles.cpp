#include "PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {

namespace {
// Tightens `path` to `mode` when it is ours and looser; false when it is not
// of the wanted kind.
bool tighten(const QByteArray &path, mode_t kind, mode_t mode)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || (st.st_mode & S_IFMT) != kind)
        return false;
    if ((st.st_mode & 0777 & ~mode) != 0 && st.st_uid == ::geteuid())
        ::chmod(path.constData(), mode);
    return true;
}
} // namespace

bool makeFolder(const QString &dir)
{
    const QByteArray native = QFile::encodeName(dir);
    // mkdir's mode is masked by the umask, so a made folder is set explicitly too.
    if (::mkdir(native.constData(), 0700) == 0)
        return ::chmod(native.constData(), 0700) == 0;
    if (errno == ENOENT) {
        // Parents (for example a missing $XDG_CONFIG_HOME) first.
        if (!QDir().mkpath(QFileInfo(dir).absolutePath()))
            return false;
        if (::mkdir(native.constData(), 0700) == 0)
            return ::chmod(native.constData(), 0700) == 0;
    }
    if (errno != EEXIST)
        return false;
    // A folder made with a looser mode (by hand, by another tool) is tightened.
    return tighten(native, S_IFDIR, 0700);
}

void restrictFile(const QString &path)
{
    tighten(QFile::encodeName(path), S_IFREG, 0600);
}

} // namespace PrivateFiles
