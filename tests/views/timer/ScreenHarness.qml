import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The Timer and Today screens on the canvas colour, as the window's screen
// card shows them; `screen` picks the one shown, so a test can switch.
Rectangle {
    id: root

    property string screen: "timer"

    color: Ui.Palette.canvas

    App.TimerView {
        objectName: "timerView"
        anchors.fill: parent
        visible: root.screen === "timer"
    }
    App.TodayView {
        objectName: "todayView"
        anchors.fill: parent
        visible: root.screen === "today"
    }
}
