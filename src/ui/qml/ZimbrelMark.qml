import Zimbrel.Ui
import QtQuick

// The app mark: the z on a rounded tile with a dot beside it. While live the
// dot breathes (larger and fainter, then back) until live turns off.
Item {
    id: root

    property real size: 40
    property int tone: ZimbrelTone.Auto
    property bool live: false
    // True while the dot is meant to beat (live and shown); `pulse` is where the beat is now,
    // from 0 (at rest) to 1 (scaled 1.28, 55 % opacity).
    property bool beat: false
    readonly property real pulse: beat && !Motion.still ? Math.max(0, 1 - (Motion.now - beatAt) / Motion.frameMs) : 0

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

    // The dot beats once a second on the shared motion clock: it pops on
    // a frame and is back at rest on the next, so it rides on the frames the
    // running clock draws anyway and asks for its own only when nothing else
    // moves. Still while the window cannot be seen or the desktop asks for
    // reduced motion.
    property int beatAt: -100000

    function follow() {
        beat = live && visible
        Motion.keep(root, beat)
        if (beat)
            beatAt = Motion.begin(Motion.frameMs)
    }

    Connections {
        target: Motion
        enabled: root.beat
        function onNowChanged() {
            if (Motion.now - root.beatAt >= 1000 - Motion.frameMs)
                root.beatAt = Motion.begin(Motion.frameMs)
        }
    }

    onLiveChanged: follow()
    onVisibleChanged: follow()
    Component.onCompleted: follow()
    Component.onDestruction: Motion.keep(root, false)
}
