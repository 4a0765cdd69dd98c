import Zimbrel.Ui
import QtQuick

// The app mark: the z on a rounded tile with a dot beside it. While live the
// dot breathes (larger and fainter, then back) until live turns off.
Item {
    id: root

    property real size: 40
    property int tone: ZimbrelTone.Auto
    property bool live: false
    // True while the dot is meant to pulse (live and shown); `pulse` is where the pulse is now,
    // from 0 (at rest) to 1 (scaled 1.28, 55 % opacity).
    property bool beat: false
    property real pulse: 0

    readonly property bool darkLook: tone === ZimbrelTone.OnDark || (tone === ZimbrelTone.Auto && Appearance.dark)
    readonly property real glyphHeight: 0.633 * size
    readonly property real dotDiameter: 0.2 * glyphHeight

    implicitWidth: size
    implicitHeight: size
    Accessible.role: Accessible.Graphic
    Accessible.name: live ? "Zimbrel, tracking" : "Zimbrel"

    SmoothRect {
        objectName: "markTile"
        anchors.fill: parent
        radius: 0.27 * root.size
        color: root.darkLook ? Palette.lime : "#0A2A21"
    }

    ZimbrelZ {
        id: glyph
        objectName: "markGlyph"
        width: root.glyphHeight * 124 / 180
        height: root.glyphHeight
        anchors.centerIn: parent
        color: root.darkLook ? "#0A2A21" : "#ffffff"
    }

    Rectangle {
        id: dot
        objectName: "markDot"
        width: root.dotDiameter
        height: root.dotDiameter
        radius: width / 2
        // Like a full stop after the z, centred on its bottom stroke.
        x: glyph.x + glyph.width + 0.03 * root.size
        y: glyph.y + glyph.height * 163 / 180 - height / 2
        color: root.darkLook ? "#0F8F63" : Palette.lime
        scale: 1 + 0.28 * root.pulse
        opacity: 1 - 0.45 * root.pulse
    }

    // The breath is stepped rather than animated: a few eased values per half
    // breath look the same at this size, and the window redraws eight times a
    // second instead of sixty for as long as the timer runs.
    readonly property int stepsPerHalf: 7
    property int step: 0

    function eased(x) {
        return x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x)
    }

    Timer {
        id: breathe
        interval: Math.round(900 / root.stepsPerHalf)
        repeat: true
        onTriggered: {
            root.step = (root.step + 1) % (2 * root.stepsPerHalf)
            const along = root.step <= root.stepsPerHalf ? root.step : 2 * root.stepsPerHalf - root.step
            root.pulse = root.eased(along / root.stepsPerHalf)
        }
    }

    NumberAnimation {
        id: settle
        target: root
        property: "pulse"
        to: 0
        duration: 200
        easing.type: Easing.OutQuad
    }

    // A hidden mark (the rail of the layout not in use, say) still asks the
    // window for a frame at each step: it breathes only while it can be seen.
    function follow() {
        if (live && visible) {
            settle.stop()
            beat = true
            step = 0
            pulse = 0
            breathe.restart()
        } else {
            breathe.stop()
            beat = false
            settle.restart()
        }
    }

    onLiveChanged: follow()
    onVisibleChanged: follow()
    Component.onCompleted: follow()
}
