#include "DBusMenu.h"

#include "TrayState.h"

#include <QDBusConnection>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

DBusMenu::DBusMenu(TrayState *state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
    connect(state, &TrayState::toggleChanged, this, &DBusMenu::toggleChanged);
}

QVariantMap DBusMenu::properties(int id) const
{
    switch (id) {
    case Root:
        return {{u"children-display"_s, u"submenu"_s}};
    case Open:
        return {{u"label"_s, u"Open Zimbrel"_s}, {u"enabled"_s, true}, {u"visible"_s, true}};
    case Toggle:
        return {{u"label"_s, m_state->toggleLabel()}, {u"enabled"_s, m_state->toggleEnabled()}, {u"visible"_s, true}};
    case Separator:
        return {{u"type"_s, u"separator"_s}, {u"visible"_s, true}};
    case Quit:
        return {{u"label"_s, u"Quit"_s}, {u"enabled"_s, true}, {u"visible"_s, true}};
    default:
        return {};
    }
}

DBusMenuLayoutItem DBusMenu::layoutOf(int id, int depth, const QStringList &names) const
{
    DBusMenuLayoutItem item;
    item.id = id;
    const QVariantMap all = properties(id);
    if (names.isEmpty()) {
        item.properties = all;
    } else {
        for (const QString &name : names)
            if (all.contains(name))
                item.properties.insert(name, all.value(name));
    }
    if (id == Root && depth != 0)
        for (int child : {Open, Toggle, Separator, Quit})
            item.children.append(layoutOf(child, depth - 1, names));
    return item;
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames, DBusMenuLayoutItem &layout)
{
    // A depth of -1 means all levels; the menu has only one below the root.
    layout = layoutOf(known(parentId) ? parentId : Root, recursionDepth, propertyNames);
    return m_revision;
}

DBusMenuItemList DBusMenu::GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames)
{
    DBusMenuItemList items;
    for (int id : ids) {
        if (!known(id))
            continue;
        items.append({id, layoutOf(id, 0, propertyNames).properties});
    }
    return items;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString &name)
{
    return QDBusVariant(properties(id).value(name));
}

void DBusMenu::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    if (eventId != u"clicked")
        return;
    switch (id) {
    case Open:
        Q_EMIT openRequested();
        break;
    case Toggle:
        // The host may show a menu read a moment ago: check the rule again.
        if (m_state->toggleEnabled())
            Q_EMIT toggleRequested();
        break;
    case Quit:
        Q_EMIT quitRequested();
        break;
    default:
        break;
    }
}

QList<int> DBusMenu::EventGroup(const DBusMenuEventList &events)
{
    QList<int> unknown;
    for (const DBusMenuEvent &event : events) {
        if (known(event.id))
            Event(event.id, event.eventId, event.data, event.timestamp);
        else
            unknown.append(event.id);
    }
    return unknown;
}

bool DBusMenu::AboutToShow(int)
{
    return false; // the layout never changes on opening
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    for (int id : ids)
        if (!known(id))
            idErrors.append(id);
    return {};
}

void DBusMenu::toggleChanged()
{
    ++m_revision;
    const QVariantMap props = properties(Toggle);
    Q_EMIT ItemsPropertiesUpdated({{Toggle, props}}, {});
    Q_EMIT LayoutUpdated(m_revision, Root);
}
