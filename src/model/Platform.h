#pragma once

#include "Instant.h"
#include "ScreenGrabber.h"

#include <QCoroTask>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

// What the model asks of the desktop. The defaults are the real services;
// tests replace what cannot happen here (ten idle minutes, a chosen clock).
struct Platform {
    std::function<Instant()> clock;
    std::function<bool()> inputAllowed;
    std::function<bool()> screenAllowed;
    std::function<bool()> loginItemEnabled;
    std::function<std::optional<QString>(bool)> setLoginItem;
    std::function<double()> idleSeconds;
    // Seconds on a clock that never jumps and runs on while the computer
    // sleeps: tells a sleep or an idle spell from a wall clock that was set.
    std::function<double()> elapsed;
    std::function<QString()> frontmostApp;
    std::function<QCoro::Task<std::optional<ScreenShot>>()> capture;
    std::function<void(const QString &, const QString &)> notify;
    bool runTicker = true;
    std::chrono::milliseconds selfTestDelay{6000};

    static Platform system();
};
