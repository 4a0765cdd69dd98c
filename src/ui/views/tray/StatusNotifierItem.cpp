#include "StatusNotifierItem.h"

#include "TrayState.h"
#include "UiSetup.h"

#include <QDBusMessage>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

StatusNotifierItem::StatusNotifierItem(TrayState *state, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_bus(bus)
{
    connect(state, &TrayState::liveChanged, this, &StatusNotifierItem::iconChanged);
    connect(state, &TrayState::toolTipChanged, this, &StatusNotifierItem::toolTipChanged);
    connect(state, &TrayState::labelChanged, this, &StatusNotifierItem::labelChanged);
}

SniIconPixmapList StatusNotifierItem::pixmapsFor(bool live)
{
    // Rendered on each read: hosts read the icon rarely (once per change),
    // and keeping no images keeps the idle program small.
    const QIcon glyph = UiSetup::trayGlyph(live);
    SniIconPixmapList list;
    for (int size : {22, 44})
        list.append(SniIconPixmap::fromImage(glyph.pixmap(size, size).toImage()));
    return list;
}

SniIconPixmapList StatusNotifierItem::iconPixmap() const
{
    return pixmapsFor(m_state->live());
}

SniToolTip StatusNotifierItem::toolTip() const
{
    return {QString(), {}, m_state->toolTipTitle(), m_state->toolTip()};
}

QString StatusNotifierItem::label() const
{
    return m_state->label();
}

QString StatusNotifierItem::labelGuide() const
{
    return TrayState::labelGuide();
}

void StatusNotifierItem::Activate(int x, int y)
{
    Q_EMIT activated(QPoint(x, y));
}

void StatusNotifierItem::ProvideXdgActivationToken(const QString &token)
{
    // Qt's Wayland shell spends it on the next window activation.
    if (!token.isEmpty() && QGuiApplication::platformName().startsWith("wayland"_L1))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

void StatusNotifierItem::SecondaryActivate(int, int)
{
    Q_EMIT openRequested();
}

void StatusNotifierItem::ContextMenu(int x, int y)
{
    // Hosts that ask the item for its menu get the panel, which holds the
    // same entries.
    Q_EMIT activated(QPoint(x, y));
}

void StatusNotifierItem::Scroll(int, const QString &)
{
}

void StatusNotifierItem::iconChanged()
{
    if (m_hosted)
        Q_EMIT NewIcon();
}

void StatusNotifierItem::toolTipChanged()
{
    if (m_hosted)
        Q_EMIT NewToolTip();
}

void StatusNotifierItem::labelChanged()
{
    if (!m_hosted)
        return;
    const QString label = m_state->label();
    Q_EMIT XAyatanaNewLabel(label, labelGuide());
    sendPropertiesChanged({{u"XAyatanaLabel"_s, label}, {u"XAyatanaLabelGuide"_s, labelGuide()}});
}

void StatusNotifierItem::sendPropertiesChanged(const QVariantMap &changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(objectPath),
                                                     u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s);
    signal << QString::fromLatin1(interfaceName) << changed << QStringList();
    m_bus.send(signal);
}
