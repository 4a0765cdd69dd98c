#pragma once

#include <optional>

// Seconds since the last input in an X session, told by the server through
// two alarms on the SYNC extension's IDLETIME counter, read on the kept
// connection: one when no input came for a short threshold ("idled"), one
// when input came back after that ("resumed"). The seconds are counted from
// the last alarm without asking the server, so a question never waits and
// the server is heard from only when the user stops or comes back. Main
// thread only.
namespace XIdleTime {

// The "idled" threshold.
constexpr int thresholdMs = 1000;

// nullopt outside an X11 session, when the display is gone, or when the
// server lacks SYNC or its IDLETIME counter.
std::optional<double> seconds();

// The server asked on the kept connection (the XScreenSaver query, one
// round trip each time), for servers without IDLETIME. nullopt outside an
// X11 session, when the display is gone or lacks the extension.
std::optional<double> asked();

} // namespace XIdleTime
