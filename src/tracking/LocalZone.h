#pragma once

#include <QObject>
#include <QByteArray>

class QFileSystemWatcher;

// The local time zone, read once and again only when it changes. With TZ
// unset, the C library looks at /etc/localtime on every local-time
// conversion (a stat per call, several a tick); pinning TZ to that same file
// makes it keep what it read. A change of /etc/localtime (the person moved
// the zone) is followed through a watch on /etc and read anew. With TZ set by
// the person, nothing is touched.
class LocalZone : public QObject {
    Q_OBJECT
public:
    explicit LocalZone(QObject *parent = nullptr);
    bool pinned() const { return m_pinned; }

    // The zone file's identity (device, inode, size, change time), empty
    // when it cannot be read.
    static QByteArray identity();

Q_SIGNALS:
    // The zone was read anew.
    void changed();

private:
    void reread();
    void check();

    QFileSystemWatcher *m_watcher = nullptr;
    QByteArray m_identity;
    bool m_pinned = false;
};
