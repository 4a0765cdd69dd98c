// The zimbrel program: one model for the life of the process.
#include "API.h"
#include "AppModel.h"
#include "LaunchOptions.h"
#include "TrackingLog.h"

#include <QCoroTask>
#include <QGuiApplication>
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

// The window and tray need a display; headless runs without one.
void chooseHeadlessPlatform(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0 && qEnvironmentVariableIsEmpty("DISPLAY")
            && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

int main(int argc, char **argv)
{
    chooseHeadlessPlatform(argc, argv);
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
    if (options.email)
        signInFromStdin(&model, *options.email);
    return app.exec();
}
