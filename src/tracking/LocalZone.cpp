#include "LocalZone.h"

#include <QFileSystemWatcher>

#include <sys/stat.h>
#include <time.h>

namespace {
constexpr auto zoneFile = "/etc/localtime";
constexpr auto pinnedTz = ":/etc/localtime";
} // namespace

LocalZone::LocalZone(QObject *parent)
    : QObject(parent)
{
    if (qEnvironmentVariableIsSet("TZ") && qgetenv("TZ") != pinnedTz)
        return;
    m_pinned = true;
    reread();
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(QStringLiteral("/etc"));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &LocalZone::check);
}

QByteArray LocalZone::identity()
{
    struct stat st {};
    if (stat(zoneFile, &st) != 0)
        return {};
    return QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino)) + ':'
           + QByteArray::number(qlonglong(st.st_size)) + ':' + QByteArray::number(qlonglong(st.st_ctim.tv_sec)) + '.'
           + QByteArray::number(qlonglong(st.st_ctim.tv_nsec));
}

void LocalZone::reread()
{
    m_identity = identity();
    // Unset, the library reads the file afresh; set to the same file name it
    // read, it keeps that zone without looking at the file again.
    qunsetenv("TZ");
    tzset();
    qputenv("TZ", pinnedTz);
    tzset();
}

void LocalZone::check()
{
    // Any change in /etc lands here: only a different zone file counts.
    if (identity() == m_identity)
        return;
    reread();
    Q_EMIT changed();
}
