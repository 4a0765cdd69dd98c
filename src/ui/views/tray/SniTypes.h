#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QImage;

// The D-Bus structures of a StatusNotifierItem and of com.canonical.dbusmenu,
// with their marshalling. Register them once (registerSniTypes) before an
// object using them is exported.

// One icon image: width, height and ARGB32 pixels in network byte order, a(iiay).
struct SniIconPixmap {
    int width = 0;
    int height = 0;
    QByteArray bytes;

    static SniIconPixmap fromImage(const QImage &image);
};
using SniIconPixmapList = QList<SniIconPixmap>;

// The item's tooltip: icon name, icon images, title, description, (sa(iiay)ss).
struct SniToolTip {
    QString iconName;
    SniIconPixmapList iconPixmap;
    QString title;
    QString description;
};

// A menu item's properties, (ia{sv}).
struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;

// Names of properties removed from an item, (ias).
struct DBusMenuItemKeys {
    int id = 0;
    QStringList properties;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;

// A node of the menu layout, (ia{sv}av): its children travel as variants.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// One event of EventGroup, (isvu).
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

QDBusArgument &operator<<(QDBusArgument &arg, const SniIconPixmap &v);
const QDBusArgument &operator>>(const QDBusArgument &arg, SniIconPixmap &v);
QDBusArgument &operator<<(QDBusArgument &arg, const SniToolTip &v);
const QDBusArgument &operator>>(const QDBusArgument &arg, SniToolTip &v);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItem &v);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItem &v);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuItemKeys &v);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuItemKeys &v);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuLayoutItem &v);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuLayoutItem &v);
QDBusArgument &operator<<(QDBusArgument &arg, const DBusMenuEvent &v);
const QDBusArgument &operator>>(const QDBusArgument &arg, DBusMenuEvent &v);

void registerSniTypes();

Q_DECLARE_METATYPE(SniIconPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DBusMenuItem)
Q_DECLARE_METATYPE(DBusMenuItemKeys)
Q_DECLARE_METATYPE(DBusMenuLayoutItem)
Q_DECLARE_METATYPE(DBusMenuEvent)
