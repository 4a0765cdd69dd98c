import Zimbrel.Ui
import QtQuick

// A number that glides to `target` on the shared motion clock instead of
// jumping: most of the way in the frame of the change, there in the next,
// frames every other moving part shares. At once while motion is still.
QtObject {
    id: glide

    property real target
    readonly property real value: {
        if (Motion.still)
            return to
        const along = Math.min(1, (Motion.now - changedAt + Motion.frameMs) / (2 * Motion.frameMs))
        return from + (to - from) * (1 - (1 - along) * (1 - along))
    }

    property real from: 0
    property real to: 0
    property int changedAt: -100000

    Component.onCompleted: {
        from = target
        to = target
    }
    onTargetChanged: {
        from = value
        to = target
        changedAt = Motion.begin(Motion.frameMs)
    }
}
