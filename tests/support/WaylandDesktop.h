#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// A private, headless Wayland desktop for one test: GNOME Shell or KWin on a
// virtual monitor, with Xwayland, its own session bus (on which the desktop
// portals, the permission store and dconf are activatable, nothing else) and
// its own system bus, and HOME and the XDG folders in a temporary folder.
// Every process it starts is a child of the test, stopped by its PID when
// this goes. With ZIMBREL_KEEP_DESKTOP set, its folder stays, with the logs
// of the compositor and of both buses (the services they start log there).
//
//     WaylandDesktop desktop(WaylandDesktop::Shell::Gnome);
//     if (!desktop.isRunning())
//         QSKIP(qPrintable(desktop.failure()));
//     QProcess *app = desktop.start(program, args);
class WaylandDesktop {
public:
    enum class Shell { Gnome, KWin };

    struct Options {
        QSize size{1920, 1080};
        // GNOME Shell: extension UUIDs enabled (org.gnome.shell enabled-extensions)
        // before the shell starts.
        QStringList extensions;
        // GNOME Shell: a folder of extensions (one subfolder per UUID), made
        // visible as $XDG_DATA_HOME/gnome-shell/extensions.
        QString extensionsFolder;
        // Extra variables for the compositor and for everything in the session.
        QProcessEnvironment environment;
        // Session services (by bus name) that the bus starts only after this
        // many milliseconds, like on a machine busy logging in.
        QMap<QString, int> serviceStartDelays;
    };

    explicit WaylandDesktop(Shell shell);
    WaylandDesktop(Shell shell, const Options &options);
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop &) = delete;
    WaylandDesktop &operator=(const WaylandDesktop &) = delete;

    bool isRunning() const { return m_failure.isEmpty(); }
    // Why the desktop did not start, for QSKIP; empty when it runs.
    QString failure() const { return m_failure; }
    Shell shell() const { return m_shell; }

    // The environment of a program in this session: the test's own, with
    // WAYLAND_DISPLAY, DISPLAY and XAUTHORITY (Xwayland), both bus addresses,
    // HOME, the XDG folders, XDG_CURRENT_DESKTOP and XDG_SESSION_TYPE of the
    // desktop, and QT_QPA_PLATFORM removed so Qt chooses as on a real desktop.
    QProcessEnvironment environment() const { return m_environment; }
    QByteArray waylandDisplay() const { return m_waylandDisplay; }
    QByteArray display() const { return m_display; }   // ":N" of Xwayland, empty without
    QByteArray sessionBus() const { return m_sessionBus; }
    QByteArray systemBus() const { return m_systemBus; }
    QString home() const;

    // Starts a program in the session; it is killed at teardown if still running.
    // `extra` adds or overrides variables.
    QProcess *start(const QString &program, const QStringList &args,
                    const QProcessEnvironment &extra = QProcessEnvironment());

    // Points this process's environment at the desktop (the variables of
    // environment()) until this goes or leave() is called. D-Bus and Qt read
    // them when they first connect, so call it before.
    void enter();
    void leave();

    // Calls a method on the session bus of the desktop with gdbus; the
    // arguments are in gdbus's text form. The reply text, or nullopt on error.
    std::optional<QString> call(const QString &service, const QString &path, const QString &method,
                                const QStringList &args = {}, int timeoutMs = 10000) const;
    // Stores a permission in the desktop's permission store, e.g.
    // setPermission("screenshot", "screenshot", "", {"yes"}).
    bool setPermission(const QString &table, const QString &id, const QString &app, const QStringList &values) const;
    // Removes a whole permission table.
    bool deletePermissionTable(const QString &table, const QString &id) const;

    // KWin only: runs a KWin script; each call of report(a, b, ...) in it
    // becomes one line of the answer, its arguments joined by tabs. Empty
    // when the script did not run to its end within `timeoutMs`.
    std::optional<QStringList> runKWinScript(const QString &source, int timeoutMs = 10000);
    // What the compositor wrote to its standard output and error so far.
    QString compositorLog() const;

    // A picture of the whole screen taken by the compositor (GNOME: the
    // screenshot portal, after storing the permission; KWin: its ScreenShot2
    // interface). Null on failure.
    QImage screenshot();

    // PIDs of every process of the desktop still running (compositor, buses,
    // activated services and their children), for tests that check teardown.
    QList<qint64> processIds() const;
    // Stops everything now, compositor first.
    void stop();

private:
    void launch(const Options &options);
    bool startBus(const QString &type, QByteArray *address, const Options &options);
    bool waitForName(const QString &name, int timeoutMs);
    bool startGnome(const Options &options);
    bool startKWin(const Options &options);
    bool findXwayland(qint64 compositor, int timeoutMs);
    bool waitForSocket(int timeoutMs);
    QProcess *spawn(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                    const QString &logName);

    Shell m_shell;
    std::unique_ptr<QTemporaryDir> m_dir = std::make_unique<QTemporaryDir>();
    QString m_failure;
    // GNOME Shell took its bus name but never finished starting.
    bool m_hung = false;
    QProcessEnvironment m_environment;
    QByteArray m_waylandDisplay;
    QByteArray m_display;
    QByteArray m_sessionBus;
    QByteArray m_systemBus;
    // Direct children in start order: buses first, then the compositor, then
    // programs started in the session.
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess *m_compositor = nullptr;
    struct Saved {
        QString name;
        std::optional<QByteArray> value;
    };
    std::vector<Saved> m_saved;
    bool m_entered = false;
    int m_scripts = 0;
};
