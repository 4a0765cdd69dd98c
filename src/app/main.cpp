// The zimbrel program: one model for the life of the process.
#include "API.h"
#include "AppModel.h"
#include "LaunchOptions.h"
#include "TrackingLog.h"
#include "UiSetup.h"
#include "ViewsSetup.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QTextStream>

#include <cstdio>
#include <iostream>

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

// The program runs headless (there is no window yet), so it needs no display;
// with one, screenshots and input counting use it.
void chooseHeadlessPlatform()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    chooseHeadlessPlatform();
    QGuiApplication::setApplicationName(u"zimbrel"_s);
    QGuiApplication::setApplicationDisplayName(u"Zimbrel"_s);
    QGuiApplication::setApplicationVersion(QStringLiteral(ZIMBREL_VERSION));
    QGuiApplication::setDesktopFileName(u"zimbrel"_s);
    QGuiApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    const auto parsed = LaunchOptions::parse(QCoreApplication::arguments());
    if (const auto *exit = std::get_if<LaunchOptions::Exit>(&parsed)) {
        std::fputs(qUtf8Printable(exit->text), exit->status == 0 ? stdout : stderr);
        return exit->status;
    }
    const LaunchOptions options = std::get<LaunchOptions>(parsed);
    if (options.server)
        API::setBaseURL(*options.server);

    AppModel model(AppModel::Platform::system(), options.launch);
    if (options.headless) {
        if (options.email)
            signInFromStdin(&model, *options.email);
        else
            announce(model);
        return app.exec();
    }

    QQmlApplicationEngine engine;
    UiSetup::prepare(engine);
    ViewsSetup::registerWith(engine, &model);
    engine.load(QUrl(u"qrc:/qt/qml/Zimbrel/App/Main.qml"_s));
    if (engine.rootObjects().isEmpty())
        return 1;
    return app.exec();
}
