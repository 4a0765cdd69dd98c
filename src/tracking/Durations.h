#pragma once

#include <QString>

// The two duration texts shared by the tray, the screens and the notices.
namespace Durations {
// "HH:MM:SS" of the whole seconds; hours are not wrapped and may grow past 99.
QString clock(double seconds);
// "42m" below an hour, else "1h 35m"; minutes rounded toward zero.
QString shortDuration(double seconds);
} // namespace Durations
