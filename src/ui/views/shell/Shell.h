#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QSize>

#include <functional>

class AppModel;
class MainWindow;
class Tray;
class TrayPanel;
class TrayState;

// The desktop side of the program: the main window, the tray icon and its
// panel, and what closing the window means. Closing never stops the timer:
// with a tray the program stays there; without one it quits while stopped,
// and while tracking keeps running and says so once.
class Shell : public QObject {
    Q_OBJECT

public:
    struct Options {
        QSize launchSize;
        // The tray needs the session bus; a disconnected one means no tray.
        QDBusConnection bus = QDBusConnection(QString());
        // Shows a desktop notice (title, body).
        std::function<void(const QString &, const QString &)> notify;
        // The tray icon is made once the window drew its first frame, not
        // before: a launch that opens the window shows it sooner.
        bool trayAfterFirstFrame = false;
    };

    static constexpr auto keepsTrackingNotice = "Zimbrel keeps tracking. Open it again from your applications menu.";

    // The window and the panel show `model` (it becomes the views' model).
    Shell(AppModel *model, Options options, QObject *parent = nullptr);
    ~Shell() override;

    MainWindow &window() { return *m_window; }
    TrayPanel &panel() { return *m_panel; }
    TrayState &trayState() { return *m_state; }
    // Null until it is made (see Options::trayAfterFirstFrame).
    Tray *tray() { return m_tray; }

    // Shows and raises the main window ("Open Zimbrel", a second launch).
    void activate();

Q_SIGNALS:
    // The program should end ("Quit", or the last way back was closed).
    void quitRequested();

private:
    void makeTray();
    void windowClosed();
    // The tray icon was clicked near `near`: the panel there, or on Wayland
    // the main window.
    void trayActivated(QPoint near);

    QPointer<AppModel> m_model;
    Options m_options;
    TrayState *m_state;
    MainWindow *m_window;
    TrayPanel *m_panel;
    Tray *m_tray = nullptr;
    bool m_saidKeepsTracking = false;
};
