#include "Shell.h"

#include "AppModel.h"
#include "MainWindow.h"
#include "TrackingLog.h"
#include "Tray.h"
#include "TrayPanel.h"
#include "TrayState.h"
#include "ViewsSetup.h"

#include <QGuiApplication>
#include <QTimer>

using namespace Qt::StringLiterals;

Shell::Shell(AppModel *model, Options options, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_options(std::move(options))
    , m_state(new TrayState(model, this))
    , m_window(new MainWindow(this))
    , m_panel(new TrayPanel(this))
{
    ViewsSetup::setModel(model);
    m_window->setLaunchSize(m_options.launchSize);
    connect(m_window, &MainWindow::closed, this, &Shell::windowClosed);
    connect(m_panel, &TrayPanel::openRequested, this, &Shell::activate);
    connect(m_panel, &TrayPanel::quitRequested, this, &Shell::quitRequested);
    if (m_options.trayAfterFirstFrame) {
        connect(m_window, &MainWindow::firstFrame, this, &Shell::makeTray, Qt::QueuedConnection);
        // A window that is not drawn (mapped on another workspace, say)
        // must not leave the program without its icon.
        QTimer::singleShot(1000, this, &Shell::makeTray);
    } else {
        makeTray();
    }
}

Shell::~Shell() = default;

void Shell::makeTray()
{
    if (m_tray)
        return;
    m_tray = new Tray(m_state, m_options.bus, this);
    ViewsSetup::setTray(m_tray);
    connect(m_tray, &Tray::activated, this, &Shell::trayActivated);
    connect(m_tray, &Tray::openRequested, this, &Shell::activate);
    connect(m_tray, &Tray::toggleRequested, m_state, &TrayState::toggle);
    connect(m_tray, &Tray::quitRequested, this, &Shell::quitRequested);
}

void Shell::activate()
{
    m_panel->close();
    m_window->show();
}

void Shell::trayActivated(QPoint near)
{
    // A Wayland window cannot place itself: the panel would open wherever
    // the compositor puts it, so the icon brings up the window instead.
    if (QGuiApplication::platformName().startsWith("wayland"_L1)) {
        activate();
        return;
    }
    m_panel->toggle(near);
}

void Shell::windowClosed()
{
    makeTray();
    if (m_tray->available())
        return;
    if (!m_model || !m_model->isRunning()) {
        qCInfo(lcTracking, "window closed and no tray to return through: quitting");
        Q_EMIT quitRequested();
        return;
    }
    if (!m_saidKeepsTracking) {
        m_saidKeepsTracking = true;
        if (m_options.notify)
            m_options.notify(u"Zimbrel"_s, QString::fromLatin1(keepsTrackingNotice));
    }
}
