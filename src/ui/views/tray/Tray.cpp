#include "Tray.h"

#include "DBusMenu.h"
#include "StatusNotifierItem.h"
#include "TrackingLog.h"
#include "TrayState.h"
#include "UiSetup.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QMenu>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

Tray::Tray(TrayState *state, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_bus(bus)
{
    if (m_bus.isConnected()) {
        exportItem();
        m_watcher = new QDBusServiceWatcher(QString::fromLatin1(watcherService), m_bus,
                                            QDBusServiceWatcher::WatchForRegistration
                                                | QDBusServiceWatcher::WatchForUnregistration,
                                            this);
        connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &Tray::watcherAppeared);
        connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &Tray::watcherGone);
        if (m_bus.interface()->isServiceRegistered(QString::fromLatin1(watcherService))) {
            registerWithWatcher();
            return;
        }
    }
    useSystemTray();
}

Tray::~Tray()
{
    dropSystemTray();
    if (m_item) {
        m_bus.unregisterObject(QString::fromLatin1(StatusNotifierItem::objectPath));
        m_bus.unregisterObject(QString::fromLatin1(StatusNotifierItem::menuPath));
        m_bus.unregisterService(m_serviceName);
    }
}

bool Tray::available() const
{
    if (m_kind == Kind::StatusNotifier)
        return true;
    return m_kind == Kind::SystemTray && QSystemTrayIcon::isSystemTrayAvailable();
}

void Tray::exportItem()
{
    registerSniTypes();
    m_item = new StatusNotifierItem(m_state, m_bus, this);
    m_menu = new DBusMenu(m_state, this);
    connect(m_item, &StatusNotifierItem::activated, this, &Tray::activated);
    connect(m_item, &StatusNotifierItem::openRequested, this, &Tray::openRequested);
    connect(m_menu, &DBusMenu::openRequested, this, &Tray::openRequested);
    connect(m_menu, &DBusMenu::toggleRequested, this, &Tray::toggleRequested);
    connect(m_menu, &DBusMenu::quitRequested, this, &Tray::quitRequested);
    const auto exported = QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots
                          | QDBusConnection::ExportScriptableSignals;
    const bool ok = m_bus.registerObject(QString::fromLatin1(StatusNotifierItem::objectPath), m_item, exported)
                    && m_bus.registerObject(QString::fromLatin1(StatusNotifierItem::menuPath), m_menu, exported);
    m_serviceName = u"org.kde.StatusNotifierItem-%1-1"_s.arg(QCoreApplication::applicationPid());
    if (!ok || !m_bus.registerService(m_serviceName))
        qCWarning(lcTracking, "tray: could not publish %s on the session bus: %s", qUtf8Printable(m_serviceName),
                  qUtf8Printable(m_bus.lastError().message()));
}

void Tray::watcherAppeared()
{
    registerWithWatcher();
}

void Tray::watcherGone()
{
    if (m_kind != Kind::StatusNotifier)
        return;
    qCInfo(lcTracking, "tray: the status notifier host went away; using the system tray while it is gone");
    useSystemTray();
}

void Tray::registerWithWatcher()
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(watcherService), u"/StatusNotifierWatcher"_s,
                                                       QString::fromLatin1(watcherService),
                                                       u"RegisterStatusNotifierItem"_s);
    call << m_serviceName;
    m_registering = true;
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        m_registering = false;
        const QDBusPendingReply<> reply = *w;
        if (reply.isError()) {
            qCWarning(lcTracking, "tray: the status notifier host refused the item: %s",
                      qUtf8Printable(reply.error().message()));
            if (m_kind != Kind::SystemTray)
                useSystemTray();
            return;
        }
        dropSystemTray();
        setKind(Kind::StatusNotifier);
    });
}

void Tray::useSystemTray()
{
    // Qt's tray icon needs the widgets application; without one, no icon.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        setKind(Kind::None);
        return;
    }
    if (!m_systemTray) {
        m_systemMenu = new QMenu;
        QAction *open = m_systemMenu->addAction(u"Open Zimbrel"_s);
        QAction *toggle = m_systemMenu->addAction(m_state->toggleLabel());
        toggle->setEnabled(m_state->toggleEnabled());
        m_systemMenu->addSeparator();
        QAction *quit = m_systemMenu->addAction(u"Quit"_s);
        connect(open, &QAction::triggered, this, &Tray::openRequested);
        connect(toggle, &QAction::triggered, this, [this] {
            if (m_state->toggleEnabled())
                Q_EMIT toggleRequested();
        });
        connect(quit, &QAction::triggered, this, &Tray::quitRequested);
        connect(m_state, &TrayState::toggleChanged, toggle, [this, toggle] {
            toggle->setText(m_state->toggleLabel());
            toggle->setEnabled(m_state->toggleEnabled());
        });

        m_systemTray = new QSystemTrayIcon(UiSetup::trayGlyph(m_state->live()), this);
        m_systemTray->setContextMenu(m_systemMenu);
        const auto tip = [this] { return m_state->toolTipTitle() + u"\n"_s + m_state->toolTip(); };
        m_systemTray->setToolTip(tip());
        connect(m_state, &TrayState::liveChanged, m_systemTray,
                [this] { m_systemTray->setIcon(UiSetup::trayGlyph(m_state->live())); });
        connect(m_state, &TrayState::toolTipChanged, m_systemTray, [this, tip] { m_systemTray->setToolTip(tip()); });
        connect(m_systemTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
                return;
            const QRect at = m_systemTray->geometry();
            Q_EMIT activated(at.isValid() ? at.center() : QCursor::pos());
        });
    }
    // The icon docks as soon as a tray appears, even one started later.
    m_systemTray->show();
    setKind(Kind::SystemTray);
    if (!QSystemTrayIcon::isSystemTrayAvailable() && !m_saidNone) {
        m_saidNone = true;
        qCInfo(lcTracking, "tray: no status notifier host and no system tray; the icon appears when one starts");
    }
}

void Tray::dropSystemTray()
{
    delete m_systemTray;
    m_systemTray = nullptr;
    delete m_systemMenu;
    m_systemMenu = nullptr;
}

void Tray::setKind(Kind kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    if (m_item)
        m_item->setHosted(kind == Kind::StatusNotifier);
    if (kind == Kind::None && !m_saidNone) {
        m_saidNone = true;
        qCInfo(lcTracking, "tray: no tray available; running without a tray icon");
    }
    Q_EMIT kindChanged();
}
