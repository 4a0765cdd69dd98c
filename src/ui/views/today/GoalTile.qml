import QtQuick
import Zimbrel.App as App

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
            width: parent.width * root.shownProgress
            height: parent.height
            radius: 3
            color: root.tint
            visible: width > 0
            Behavior on width { NumberAnimation { duration: 300; easing.type: Easing.OutCubic } }
        }
    }
}
