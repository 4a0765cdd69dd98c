import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// A stat tile with a progress bar toward a goal under it.
App.StatTile {
    id: root

    property real progress: 0
    readonly property real shownProgress: Math.max(0, Math.min(1, isFinite(progress) ? progress : 0))

    below: Rectangle {
        objectName: "goalTrack"
        width: parent ? parent.width : 0
        height: 6
        radius: 3
        color: root.soft

        Rectangle {
            objectName: "goalFill"
            width: parent.width * fill.value
            height: parent.height
            radius: 3
            color: root.tint
            visible: width > 0
            Ui.Glide {
                id: fill
                target: root.shownProgress
            }
        }
    }
}
