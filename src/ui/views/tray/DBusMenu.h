#pragma once

#include "SniTypes.h"

#include <QDBusVariant>
#include <QObject>

class TrayState;

// The tray item's menu as com.canonical.dbusmenu: "Open Zimbrel", the
// start/stop entry (enabled as the panel's button is), a separator, "Quit".
// Hosts read the layout and send "clicked" events; the entries' actions leave
// through the signals below, which are not part of the D-Bus interface.
class DBusMenu : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version CONSTANT)
    Q_PROPERTY(QString TextDirection READ textDirection CONSTANT)
    Q_PROPERTY(QString Status READ status CONSTANT)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath CONSTANT)

public:
    enum Entry { Root = 0, Open = 1, Toggle = 2, Separator = 3, Quit = 4 };

    explicit DBusMenu(TrayState *state, QObject *parent = nullptr);

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // The properties of one entry, as GetLayout hands them out.
    QVariantMap properties(int id) const;

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames, DBusMenuLayoutItem &layout);
    DBusMenuItemList GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const DBusMenuEventList &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
    Q_SCRIPTABLE void ItemsPropertiesUpdated(const DBusMenuItemList &updatedProps,
                                             const DBusMenuItemKeysList &removedProps);
    Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

    // Not exported: what a click on an entry asks for.
    void openRequested();
    void toggleRequested();
    void quitRequested();

private:
    void toggleChanged();
    static bool known(int id) { return id >= Root && id <= Quit; }
    DBusMenuLayoutItem layoutOf(int id, int depth, const QStringList &names) const;

    TrayState *m_state;
    uint m_revision = 1;
};
