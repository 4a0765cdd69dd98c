import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// One screen on the canvas colour, as the window's screen card shows it.
Rectangle {
    id: root

    required property string screen

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
