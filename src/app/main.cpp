// The zimbrel program: one model for the life of the process, shown in a
// window and a tray icon, or run headless for automation. One program per
// session: a second launch hands over to the first.
#include "API.h"
#include "AppModel.h"
#include "Appearance.h"
#include "ApplicationService.h"
#include "FontReadAhead.h"
#include "InstanceLock.h"
#include "LaunchOptions.h"
#include "LocalZone.h"
#include "MainWindow.h"
#include "Notifier.h"
#include "PluginReadAhead.h"
#include "Shell.h"
#include "SingleInstance.h"
#include "TrackingLog.h"
#include "Tray.h"
#include "UiSetup.h"
#include "ViewScene.h"

#include <QApplication>
#include <QCoroTask>
#include <QDateTime>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Signs in with the password from standard input; exits when that fails.
QCoro::Task<void> signInFromStdin(AppModel *model, QString email)
{
    std::string password;
    std::getline(std::cin, password);
    try {
        co_await model->signIn(email, QString::fromStdString(password));
        qCInfo(lcTracking, "signed in as %s", qUtf8Printable(model->userEmail()));
    } catch (const APIError &e) {
        std::fprintf(stderr, "zimbrel: %s\n", qUtf8Printable(e.message()));
        QCoreApplication::exit(1);
    }
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// Whether the command line holds `option`, before the application parses it.
bool asks(int argc, char **argv, const char *option)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0)
            return true;
    return false;
}

// Tells a person at a terminal what the program is doing.
void announce(const AppModel &model)
{
    if (model.isDemo())
        qCInfo(lcTracking, "running the demo workspace without a window");
    else if (model.signedIn())
        qCInfo(lcTracking, "running without a window, signed in as %s", qUtf8Printable(model.userEmail()));
    else
        qCInfo(lcTracking, "running without a window, signed out: sign in with --email ADDRESS (password on "
                           "standard input), or try --demo");
}

} // namespace

int main(int argc, char **argv)
{
    // Before the application exists: the X11 platform consumes this variable.
    const QVariantMap platformData = SingleInstance::platformDataFromEnvironment();

    // Without a display the program runs headless; screenshots and input
    // counting then do without too.
    const bool display = hasDisplay();
    if (!display)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool windowless = asks(argc, argv, "--headless") || !display;
    // A launch that shows the window reads its fonts and QML beside the
    // rest of its start-up; one that starts in the tray, when the window
    // opens.
    const bool showsWindow = !windowless && !asks(argc, argv, "--tray");

    QGuiApplication::setApplicationName(u"zimbrel"_s);
    QGuiApplication::setApplicationDisplayName(u"Zimbrel"_s);
    QGuiApplication::setApplicationVersion(QStringLiteral(ZIMBREL_VERSION));
    QGuiApplication::setDesktopFileName(u"com.corvane.native.Zimbrel"_s);
    // The tray's XEmbed fallback (QSystemTrayIcon) needs the widgets
    // application; a headless run does without it.
    if (!windowless)
        UiSetup::useDefaultRenderer();
    std::unique_ptr<QGuiApplication> app = windowless ? std::make_unique<QGuiApplication>(argc, argv)
                                                      : std::make_unique<QApplication>(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    LocalZone zone;

    const auto parsed = LaunchOptions::parse(QCoreApplication::arguments());
    if (const auto *exit = std::get_if<LaunchOptions::Exit>(&parsed)) {
        std::fputs(qUtf8Printable(exit->text), exit->status == 0 ? stdout : stderr);
        return exit->status;
    }
    const LaunchOptions options = std::get<LaunchOptions>(parsed);
    // The window's QML plugins load beside the bus claim and the model.
    std::optional<PluginReadAhead> plugins;
    if (showsWindow)
        plugins.emplace(MainWindow::pluginModules());

    // One program per session: the lock decides, the bus name lets a second
    // launch reach the first.
    InstanceLock lock;
    const InstanceLock::State locked = lock.acquire();
    QDBusConnection bus = QDBusConnection::sessionBus();
    ApplicationService service;
    SingleInstance::Claim claim = SingleInstance::Claim::NoBus;
    if (locked != InstanceLock::State::TakenByAnother)
        claim = SingleInstance::claim(bus, &service);
    if (locked == InstanceLock::State::TakenByAnother || claim == SingleInstance::Claim::OwnedElsewhere) {
        if (options.headless || !bus.isConnected()) {
            std::fputs("Zimbrel is already running.\n", stderr);
            return 1;
        }
        QString error;
        if (!SingleInstance::forwardActivate(bus, platformData, 5000, &error)) {
            std::fprintf(stderr, "Zimbrel is already running, but did not answer: %s\n", qUtf8Printable(error));
            return 1;
        }
        return 0;
    }
    if (claim == SingleInstance::Claim::NoBus)
        qCInfo(lcTracking, "no session bus: running without tray icon, change signals and the one-program name");

    std::optional<FontReadAhead> fonts;
    if (showsWindow) {
        fonts.emplace();
        MainWindow::preload();
    }

    if (options.server)
        API::setBaseURL(*options.server);

    AppModel model(AppModel::Platform::system(), options.launch);
    if (windowless) {
        if (!display && !options.headless)
            qCInfo(lcTracking, "no display: running without window and tray icon");
        QObject::connect(&service, &ApplicationService::activateRequested, [] {
            qCInfo(lcTracking, "asked to show the window, but this run has none");
        });
        if (options.email)
            signInFromStdin(&model, *options.email);
        else
            announce(model);
        return app->exec();
    }

    if (!options.appearance.isEmpty())
        Appearance::setOverride(options.appearance);
    UiSetup::applyFonts();

    Shell::Options shellOptions;
    if (options.width || options.height) {
        // A missing one keeps the default.
        shellOptions.launchSize = QSize(options.width.value_or(940), options.height.value_or(640));
    }
    shellOptions.bus = bus;
    shellOptions.notify = [](const QString &title, const QString &body) { Notifier::send(title, body); };
    shellOptions.trayAfterFirstFrame = !options.tray;
    Shell shell(&model, shellOptions);
    // The window and the tray panel build the program's only QML engines, so
    // the last one to close may clear Qt's QML type registry as well.
    ViewScene::setOnlyEngines(true);
    QObject::connect(&service, &ApplicationService::activateRequested, &shell, [&shell](const QVariantMap &data) {
        SingleInstance::handOverActivationToken(data);
        shell.activate();
    });
    QObject::connect(&shell, &Shell::quitRequested, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);
    if (!qEnvironmentVariableIsEmpty("ZIMBREL_REPORT_FIRST_FRAME")) {
        // For the window benchmark: the wall clock of the first frame, and how
        // long each opening took to draw.
        QObject::connect(&shell.window(), &MainWindow::firstFrame, [] {
            std::fprintf(stderr, "zimbrel: first frame at %lld ms\n", QDateTime::currentMSecsSinceEpoch());
        });
        QObject::connect(&shell.window(), &MainWindow::drawn, [](qint64 ms) {
            std::fprintf(stderr, "zimbrel: window built and drawn in %lld ms\n", ms);
        });
    }
    // The token's hand-over and Qt's clearing of it write the environment,
    // which neither worker may be reading. The plugin worker finished while
    // the model was built, so its join returns at once.
    plugins.reset();
    if (!SingleInstance::activationTokenToHandOver(platformData).isEmpty())
        fonts.reset();
    SingleInstance::handOverActivationToken(platformData);
    if (options.tray) {
        // Started at login: the window stays hidden once an icon is there to
        // open it, and opens when the desktop has no tray.
        const auto showWithoutTray = [&shell] {
            if (!shell.tray()->available())
                shell.activate();
        };
        if (shell.tray()->registering())
            QObject::connect(shell.tray(), &Tray::kindChanged, &shell, showWithoutTray, Qt::SingleShotConnection);
        else
            showWithoutTray();
        return app->exec();
    }
    shell.activate();
    // The window's text has needed the font database, so the worker's reading
    // is over: it joins at once, before the event loop can run anything that
    // writes the environment.
    fonts.reset();
    if (!shell.window().isOpen())
        return 1;
    return app->exec();
}
