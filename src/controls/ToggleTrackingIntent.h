#pragma once

#include "StoreResult.h"

#include <QString>

#include <optional>

// Sets the stored running state from outside the window: zimbrel-control, and
// the app itself. It never talks to the server; the app's sync engine picks the
// change up through the change signal.
struct ToggleTrackingIntent {
    static inline const QString title = QStringLiteral("Track time");

    std::optional<bool> value; // "Tracking": the wanted running state

    // Sets the state through the store (a no-op when already so), reading the
    // clock inside the store's lock, and asks the control to reload. Does
    // nothing (ok) when `value` was never set. Not ok when the stored state
    // could not be read, locked or saved; it is then unchanged.
    StoreResult perform() const;
};
