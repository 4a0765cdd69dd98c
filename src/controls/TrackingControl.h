#pragma once

#include <QJsonObject>
#include <QString>

struct TrackingSnapshot;

// The "Track time" toggle: what it shows and how it is told to refresh.
namespace TrackingControl {

inline constexpr auto kind = "com.corvane.native.controls.tracking";
inline const QString displayName = QStringLiteral("Track time");
inline const QString description = QStringLiteral("Start or stop your Zimbrel timer.");
inline const QString title = QStringLiteral("Zimbrel");
inline const QString offLabel = QStringLiteral("Start tracking");

struct State {
    bool isRunning = false;
    QString caption;

    // The caption while running, "Start tracking" while stopped.
    QString valueLabel() const;
    QJsonObject toJson() const;
    bool operator==(const State &) const = default;
};

// What the control shows for a stored snapshot.
State stateOf(const TrackingSnapshot &snapshot);

namespace Provider {
State previewValue();
// From the stored snapshot: the task's name, else the project's, else "Tracking".
State currentValue();
} // namespace Provider

// Asks whatever shows the control to refresh it: a payload-free signal
// /com/corvane/native/controls com.corvane.native.controls.tracking.
void reload();

} // namespace TrackingControl
