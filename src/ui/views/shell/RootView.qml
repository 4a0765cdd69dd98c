import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The signed-in window: the rail beside the selected screen from 600 px
// wide, and below that a top bar with the lockup, the screen, and the rail
// along the bottom.
Item {
    id: root

    readonly property bool wide: width >= 600

    // Only the layout in use is built: the other rail (and the top bar) are
    // made when the window crosses the width, not with the first frame.
    Loader {
        id: sideRail
        objectName: "sideRail"
        active: root.wide
        visible: active
        width: 80
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        sourceComponent: App.Rail { horizontal: false }
    }

    Loader {
        id: topBar
        objectName: "topBar"
        active: !root.wide
        visible: active
        height: 30
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        sourceComponent: Item {
            Ui.ZimbrelLockup {
                anchors.centerIn: parent
                size: 18
                tone: Ui.ZimbrelTone.OnDark
                live: App.Model.isRunning && bottomRail.item !== null && bottomRail.item.onScreen
            }
        }
    }

    Loader {
        id: bottomRail
        objectName: "bottomRail"
        active: !root.wide
        visible: active
        height: 64
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        sourceComponent: App.Rail { horizontal: true }
    }

    // The selected screen on its card. Its place is bound rather than
    // anchored: anchors take effect only once the card is complete, after
    // the screen inside was built, so the screen would be built and laid
    // out at no width first and then again at its own.
    Rectangle {
        id: screenCard
        objectName: "screenCard"
        x: root.wide ? sideRail.width : 8
        y: root.wide ? 8 : topBar.height
        width: root.width - x - 8
        height: root.height - y - (root.wide ? 8 : bottomRail.height)
        radius: 26
        color: Ui.Palette.canvas

        Loader {
            id: screen
            objectName: "screen"
            width: parent.width
            height: parent.height
            // The model's Screen enum: 0 Timer, 1 Today, 2 Settings. By file:
            // a screen is compiled when it is first shown.
            source: App.Model.screen === 1 ? "TodayView.qml" : App.Model.screen === 2 ? "SettingsView.qml" : "TimerView.qml"
        }
    }
}
