import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// A stat tile with a progress bar toward a goal under it.
App.StatTile {
    id: root

    property real progress: 0
    // In steps of 1/4096, a quarter pixel of a bar up to 1024 wide: a week's
    // share grows by a hundredth of a pixel a second, which no one sees but
    // would move the bar (and ask for frames) every second.
    readonly property real shownProgress: Math.round(4096 * Math.max(0, Math.min(1, isFinite(progress) ? progress : 0))) / 4096

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
