#pragma once

#include "ScreenGrabber.h"

#include <optional>

// Runs ScreenGrabber::capture() on the event loop until it is done or
// `timeoutMs` passed; `finished` tells which.
std::optional<ScreenShot> captureAndWait(bool *finished, int timeoutMs = 10000);
