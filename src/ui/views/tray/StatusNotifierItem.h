#pragma once

#include "SniTypes.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPoint>

class TrayState;

// The tray item as org.kde.StatusNotifierItem at /StatusNotifierItem: the
// glyph (with its dot while tracking), the running total as XAyatanaLabel
// for hosts that show one, the tooltip, and the menu at /MenuBar. Hosts read
// the properties with GetAll and re-read them on the New... signals; QtDBus
// never sends PropertiesChanged, so the label setter sends it itself.
class StatusNotifierItem : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category CONSTANT)
    Q_PROPERTY(QString Id READ id CONSTANT)
    Q_PROPERTY(QString Title READ title CONSTANT)
    Q_PROPERTY(QString Status READ status CONSTANT)
    Q_PROPERTY(int WindowId READ windowId CONSTANT)
    Q_PROPERTY(QString IconName READ emptyText CONSTANT)
    Q_PROPERTY(QString IconThemePath READ emptyText CONSTANT)
    Q_PROPERTY(SniIconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyText CONSTANT)
    Q_PROPERTY(SniIconPixmapList OverlayIconPixmap READ noPixmaps CONSTANT)
    Q_PROPERTY(QString AttentionIconName READ emptyText CONSTANT)
    Q_PROPERTY(SniIconPixmapList AttentionIconPixmap READ noPixmaps CONSTANT)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu CONSTANT)
    Q_PROPERTY(QDBusObjectPath Menu READ menu CONSTANT)
    Q_PROPERTY(QString XAyatanaLabel READ label)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide CONSTANT)

public:
    static constexpr auto objectPath = "/StatusNotifierItem";
    static constexpr auto menuPath = "/MenuBar";
    static constexpr auto interfaceName = "org.kde.StatusNotifierItem";

    StatusNotifierItem(TrayState *state, const QDBusConnection &bus, QObject *parent = nullptr);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("zimbrel"); }
    QString title() const { return QStringLiteral("Zimbrel"); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString emptyText() const { return {}; }
    SniIconPixmapList noPixmaps() const { return {}; }
    SniIconPixmapList iconPixmap() const;
    SniToolTip toolTip() const;
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(QString::fromLatin1(menuPath)); }
    QString label() const;
    QString labelGuide() const;

    // The glyph as the item sends it, 22 and 44 px.
    static SniIconPixmapList pixmapsFor(bool live);

    // Whether a host has taken the item. Without one the change signals stay
    // unsent: the label changes each second while tracking, and each signal
    // wakes the bus thread for nobody. A host reads everything as it takes
    // the item.
    void setHosted(bool hosted) { m_hosted = hosted; }
    bool hosted() const { return m_hosted; }

public Q_SLOTS:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString &orientation);
    // Plasma hands over a token before Activate, so the window it brings up
    // may take the focus on Wayland.
    void ProvideXdgActivationToken(const QString &token);

Q_SIGNALS:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString &status);
    Q_SCRIPTABLE void XAyatanaNewLabel(const QString &label, const QString &guide);

    // Not exported: the host asked to open or close the panel near (x, y).
    void activated(QPoint near);
    void openRequested();

private:
    void iconChanged();
    void toolTipChanged();
    void labelChanged();
    void sendPropertiesChanged(const QVariantMap &changed);

    TrayState *m_state;
    QDBusConnection m_bus;
    bool m_hosted = false;
};
