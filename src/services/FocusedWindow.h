#pragma once

#include <QString>

// What a desktop tells about its focused window: never its title.
struct FocusedWindow {
    QString wmClass;
    QString appId; // a Wayland app id or desktop entry id, when the desktop gives one
    qint64 pid = 0;
    bool operator==(const FocusedWindow &) const = default;
};
