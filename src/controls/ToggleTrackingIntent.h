#pragma once

#include <QString>

#include <optional>

// Sets the stored running state from outside the window: zimbrel-control, and
// the app itself. It never talks to the server; the app's sync engine picks the
// change up through the change signal.
struct ToggleTrackingIntent {
    static inline const QString title = QStringLiteral("Track time");

    std::optional<bool> value; // "Tracking": the wanted running state

    // Sets the state through the store (a no-op when already so) and asks the
    // control to reload. Does nothing when `value` was never set. False when
    // the stored state is not as asked afterwards (it could not be saved).
    bool perform() const;
};
