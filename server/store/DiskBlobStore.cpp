#include "DiskBlobStore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtDebug>

#include <sodium.h>

DiskBlobStore::DiskBlobStore(QString root)
    : m_root(std::move(root))
{
}

QString DiskBlobStore::pathOf(const QString &key) const
{
    static const QRegularExpression form(QStringLiteral("^[0-9a-f]{2}/[0-9a-f]{32}\\.jpg$"));
    if (!form.match(key).hasMatch())
        return {};
    return m_root + QLatin1Char('/') + key;
}

std::optional<QString> DiskBlobStore::put(const QByteArray &bytes)
{
    unsigned char raw[16];
    randombytes_buf(raw, sizeof raw);
    const QString hex = QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(raw), sizeof raw).toHex());
    const QString key = hex.left(2) + QLatin1Char('/') + hex + QStringLiteral(".jpg");
    const QString dir = m_root + QLatin1Char('/') + hex.left(2);
    const auto dirMode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                         | QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    if (!QDir().mkpath(dir)) {
        qWarning().noquote() << "screenshot store: cannot create" << dir;
        return std::nullopt;
    }
    QFile::setPermissions(m_root, dirMode);
    QFile::setPermissions(dir, dirMode);
    QSaveFile file(pathOf(key));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qWarning().noquote() << "screenshot store: cannot write" << file.fileName() << file.errorString();
        return std::nullopt;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    if (!file.commit()) {
        qWarning().noquote() << "screenshot store: cannot write" << file.fileName() << file.errorString();
        return std::nullopt;
    }
    return key;
}

std::optional<QByteArray> DiskBlobStore::get(const QString &key)
{
    QFile file(pathOf(key));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool DiskBlobStore::remove(const QString &key)
{
    const QString path = pathOf(key);
    if (path.isEmpty())
        return false;
    return !QFile::exists(path) || QFile::remove(path);
}
