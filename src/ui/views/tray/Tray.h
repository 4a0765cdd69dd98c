#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QPointer>

class DBusMenu;
class QDBusServiceWatcher;
class QMenu;
class QSystemTrayIcon;
class StatusNotifierItem;
class TrayState;

// The tray icon in whatever form the desktop offers. With a StatusNotifier
// watcher on the session bus: our own item with its label and menu (and no
// Qt tray icon, which would show a second one). Without one: Qt's XEmbed
// icon with the same glyphs, tooltip, click and menu. With neither: no icon,
// said once in the log. It follows the watcher as it comes and goes.
class Tray : public QObject {
    Q_OBJECT

public:
    enum class Kind { None, StatusNotifier, SystemTray };
    Q_ENUM(Kind)

    static constexpr auto watcherService = "org.kde.StatusNotifierWatcher";

    Tray(TrayState *state, const QDBusConnection &bus, QObject *parent = nullptr);
    ~Tray() override;

    Kind kind() const { return m_kind; }
    // Whether a person can reach the program through an icon right now.
    bool available() const;
    // Whether the host has yet to answer our registration (kindChanged follows).
    bool registering() const { return m_registering; }
    // Our item's bus name, "org.kde.StatusNotifierItem-<pid>-1", or "" without a bus.
    QString serviceName() const { return m_serviceName; }

Q_SIGNALS:
    void kindChanged();
    // A click on the icon: open or close the panel near `near` (global
    // coordinates; a null point when the host gave none).
    void activated(QPoint near);
    void openRequested();
    void toggleRequested();
    void quitRequested();

private:
    void exportItem();
    void watcherAppeared();
    void watcherGone();
    void registerWithWatcher();
    void useSystemTray();
    void dropSystemTray();
    void setKind(Kind kind);

    TrayState *m_state;
    QDBusConnection m_bus;
    QString m_serviceName;
    StatusNotifierItem *m_item = nullptr;
    DBusMenu *m_menu = nullptr;
    QDBusServiceWatcher *m_watcher = nullptr;
    QSystemTrayIcon *m_systemTray = nullptr;
    QMenu *m_systemMenu = nullptr;
    Kind m_kind = Kind::None;
    bool m_saidNone = false;
    bool m_registering = false;
};
