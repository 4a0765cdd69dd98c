import QtQuick
import Zimbrel.App as App

// The preference row for time away: on or off, and after how many idle
// minutes (5 to 60, in steps of five) it counts.
App.SettingsRow {
    id: root

    readonly property var prefs: App.Model.settings
    readonly property int minutes: prefs.awayMinutes

    objectName: "awayRow"
    iconName: "stopwatch"
    title: "Ask about time away"
    detail: "When you come back after " + minutes + " minutes without keyboard or mouse, or after your computer slept, choose whether that time stays in your session."

    App.GoalStepper {
        objectName: "awayStepper"
        anchors.verticalCenter: parent.verticalCenter
        accessibleName: "Minutes before time counts as away"
        value: root.minutes
        from: 5
        to: 60
        label: root.minutes + " min"
        enabled: root.prefs.askAway
        opacity: enabled ? 1 : 0.45
        canDecrease: enabled && root.minutes > 5
        canIncrease: enabled && root.minutes < 60
        onStep: direction => root.prefs.awayMinutes = root.minutes + 5 * direction
    }

    App.SettingsSwitch {
        objectName: "askAwaySwitch"
        anchors.verticalCenter: parent.verticalCenter
        accessibleName: "Ask about time away"
        checked: root.prefs.askAway
        onSwitched: on => root.prefs.askAway = on
    }
}
