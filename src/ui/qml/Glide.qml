import Zimbrel.Ui
import QtQuick

// A number that glides to `target` on the shared motion clock instead of
// jumping: most of the way in the frame of the change, there in the next,
// frames every other moving part shares. At once while motion is still.
QtObject {
    id: glide

    property real target
    readonly property real value: shown

    property real shown: 0
    property real from: 0
    property real to: 0
    property int changedAt: -100000
    // Only while gliding does it follow the motion clock, so a number at
    // rest costs nothing on the frames of the other moving parts.
    property bool gliding: false
    readonly property QtObject motion: Motion

    function follow() {
        const along = motion.still ? 1 : Math.min(1, (motion.now - changedAt + motion.frameMs) / (2 * motion.frameMs))
        shown = from + (to - from) * (1 - (1 - along) * (1 - along))
        gliding = along < 1
    }

    property Connections clock: Connections {
        target: glide.motion
        enabled: glide.gliding
        function onNowChanged() { glide.follow() }
        function onStillChanged() { glide.follow() }
    }

    Component.onCompleted: {
        from = target
        to = target
        shown = target
    }
    onTargetChanged: {
        from = shown
        to = target
        changedAt = motion.begin(motion.frameMs)
        follow()
    }
}
