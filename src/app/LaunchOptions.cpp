#include "LaunchOptions.h"

#include "API.h"
#include "Preferences.h"

#include <QCommandLineParser>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// A number option, from the command line or else the preferences file.
std::optional<double> number(const QCommandLineParser &parser, const QString &name, QString *error)
{
    QString text;
    if (parser.isSet(name))
        text = parser.value(name);
    else if (Preferences::contains(name))
        text = Preferences::value(name).toString();
    else
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        *error = u"zimbrel: --%1 needs a number, not \"%2\""_s.arg(name, text);
        return std::nullopt;
    }
    return value;
}

std::optional<int> size(const QCommandLineParser &parser, const QString &name, QString *error)
{
    const auto value = number(parser, name, error);
    if (!value)
        return std::nullopt;
    if (*value < 1 || *value > 100000 || *value != std::floor(*value)) {
        *error = u"zimbrel: --%1 needs a whole number of pixels between 1 and 100000"_s.arg(name);
        return std::nullopt;
    }
    return int(*value);
}

QString text(const QCommandLineParser &parser, const QString &name)
{
    return parser.isSet(name) ? parser.value(name) : Preferences::value(name).toString();
}

} // namespace

std::variant<LaunchOptions, LaunchOptions::Exit> LaunchOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Zimbrel: track your working time for your workspace."_s);
    parser.addOptions({
        {u"demo"_s, u"Open the demo workspace; nothing is sent anywhere."_s},
        {u"screen"_s, u"Open the window on a screen: timer, today or settings."_s, u"NAME"_s},
        {u"selftest"_s, u"Start and stop one session of SECONDS, 6 s after launch."_s, u"SECONDS"_s},
        {u"width"_s, u"Window width in pixels."_s, u"N"_s},
        {u"height"_s, u"Window height in pixels."_s, u"N"_s},
        {u"server"_s, u"Workspace server for this run; the address ends in api/v1/."_s, u"URL"_s},
        {u"headless"_s, u"Run without window or tray icon (automation)."_s},
        {u"email"_s, u"With --headless: sign in as ADDRESS, reading the password from standard input."_s,
         u"ADDRESS"_s},
        {u"appearance"_s, u"Force the light or dark appearance."_s, u"light|dark"_s},
        {u"tray"_s, u"Start in the system tray with the window hidden (the window opens when there is no tray)."_s},
    });
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(arguments))
        return Exit{2, u"zimbrel: "_s + parser.errorText() + u"\n\n"_s + parser.helpText()};
    if (parser.isSet(help))
        return Exit{0, parser.helpText()};
    if (parser.isSet(version))
        return Exit{0, u"zimbrel " ZIMBREL_VERSION "\n"_s};
    if (!parser.positionalArguments().isEmpty())
        return Exit{2, u"zimbrel: unexpected argument: %1\n\n"_s.arg(parser.positionalArguments().first())
                           + parser.helpText()};

    LaunchOptions options;
    QString error;
    options.launch.demo = parser.isSet(u"demo"_s) || Preferences::value(u"demo"_s, false).toBool();
    options.launch.screen = text(parser, u"screen"_s);
    if (!options.launch.screen.isEmpty() && options.launch.screen != u"timer" && options.launch.screen != u"today"
        && options.launch.screen != u"settings")
        return Exit{2, u"zimbrel: --screen must be timer, today or settings, not \"%1\"\n"_s.arg(options.launch.screen)};
    options.launch.selftest = number(parser, u"selftest"_s, &error).value_or(0);
    if (error.isEmpty())
        options.width = size(parser, u"width"_s, &error);
    if (error.isEmpty())
        options.height = size(parser, u"height"_s, &error);
    if (!error.isEmpty())
        return Exit{2, error + u'\n'};

    const QString server = text(parser, u"server"_s);
    if (!server.isEmpty()) {
        const API::ServerCheck check = API::checkServer(server);
        if (!check.ok())
            return Exit{2, u"zimbrel: "_s + check.error + u'\n'};
        options.server = check.url;
    }

    options.headless = parser.isSet(u"headless"_s);
    options.tray = parser.isSet(u"tray"_s);
    if (parser.isSet(u"email"_s)) {
        if (!options.headless)
            return Exit{2, u"zimbrel: --email works only with --headless; sign in from the window instead\n"_s};
        options.email = parser.value(u"email"_s);
    }

    options.appearance = text(parser, u"appearance"_s);
    if (!options.appearance.isEmpty() && options.appearance != u"light" && options.appearance != u"dark")
        return Exit{2, u"zimbrel: --appearance must be light or dark\n"_s};
    return options;
}
