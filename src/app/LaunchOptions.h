#pragma once

#include "AppModel.h"

#include <QStringList>
#include <QUrl>

#include <optional>

// The zimbrel command line. An option that is absent is read from the
// preferences file under the same key; nothing here is ever written back.
struct LaunchOptions {
    AppModel::Launch launch;
    std::optional<int> width;
    std::optional<int> height;
    std::optional<QUrl> server;
    bool headless = false;
    bool tray = false; // start hidden in the tray when there is one
    std::optional<QString> email;
    QString appearance; // "", "light" or "dark"

    // Exit status and text when the program should stop right away: 0 with
    // the help or version on stdout, 2 with a message on stderr.
    struct Exit {
        int status = 0;
        QString text;
    };

    // Parses `arguments` (program name first).
    static std::variant<LaunchOptions, Exit> parse(const QStringList &arguments);
};
