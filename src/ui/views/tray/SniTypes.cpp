#include "SniTypes.h"

#include <QDBusMetaType>
#include <QImage>
#include <QtEndian>

SniIconPixmap SniIconPixmap::fromImage(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SniIconPixmap pixmap;
    pixmap.width = argb.width();
    pixmap.height = argb.height();
    pixmap.bytes.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto *out = reinterpret_cast<quint32 *>(pixmap.bytes.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const quint32 *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            *out++ = qToBigEndian(line[x]);
    }
    return pixmap;
}

QDBusArgument &operator<<(QDBusArgument &arg, const SniIconPixmap &v)
{
    arg.beginStructure();
    arg << v.width << v.height << v.bytes;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniIconPixmap &v)
{
    arg.beginStructure();
    arg >> v.width >> v.height >> v.bytes;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &v)
{
    arg.beginStructure();
    arg << v.iconName << v.iconPixmap << v.title << v.description;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &v)
{
    arg.beginStructure();
    arg >> v.iconName >> v.iconPixmap >> v.title >> v.description;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItem &v)
{
    arg.beginStructure();
    arg << v.id << v.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItem &v)
{
    arg.beginStructure();
    arg >> v.id >> v.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItemKeys &v)
{
    arg.beginStructure();
    arg << v.id << v.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItemKeys &v)
{
    arg.beginStructure();
    arg >> v.id >> v.properties;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayoutItem &v)
{
    arg.beginStructure();
    arg << v.id << v.properties;
    // Children are variants (av), each holding a layout item.
    arg.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayoutItem &child : v.children)
        arg << QDBusVariant(QVariant::fromValue(child));
    arg.endArray();
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayoutItem &v)
{
    arg.beginStructure();
    arg >> v.id >> v.properties;
    v.children.clear();
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant variant;
        arg >> variant;
        const QDBusArgument inner = variant.variant().value<QDBusArgument>();
        DBusMenuLayoutItem child;
        inner >> child;
        v.children.append(child);
    }
    arg.endArray();
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuEvent &v)
{
    arg.beginStructure();
    arg << v.id << v.eventId << v.data << v.timestamp;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuEvent &v)
{
    arg.beginStructure();
    arg >> v.id >> v.eventId >> v.data >> v.timestamp;
    arg.endStructure();
    return arg;
}

void registerSniTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<SniIconPixmap>();
        qDBusRegisterMetaType<SniIconPixmapList>();
        qDBusRegisterMetaType<SniToolTip>();
        qDBusRegisterMetaType<DBusMenuItem>();
        qDBusRegisterMetaType<DBusMenuItemList>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<DBusMenuItemKeysList>();
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        qDBusRegisterMetaType<QList<int>>();
        // Signals name the list types by their aliases; QtDBus looks them up by that name.
        qRegisterMetaType<SniIconPixmapList>("SniIconPixmapList");
        qRegisterMetaType<DBusMenuItemList>("DBusMenuItemList");
        qRegisterMetaType<DBusMenuItemKeysList>("DBusMenuItemKeysList");
        qRegisterMetaType<DBusMenuEventList>("DBusMenuEventList");
        return true;
    }();
    Q_UNUSED(registered);
}
