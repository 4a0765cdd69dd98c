import Zimbrel.Ui
import QtQuick

// The app mark: the z on a rounded tile with a dot beside it. While live the
// dot breathes (larger and fainter, then back) until live turns off.
Item {
    id: root

    property real size: 40
    property int tone: ZimbrelTone.Auto
    property bool live: false
    // True while the dot is meant to pulse; `pulse` is where the pulse is now,
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

    SequentialAnimation {
        id: breathe
        loops: Animation.Infinite
        NumberAnimation { target: root; property: "pulse"; to: 1; duration: 900; easing.type: Easing.InOutQuad }
        NumberAnimation { target: root; property: "pulse"; to: 0; duration: 900; easing.type: Easing.InOutQuad }
    }

    NumberAnimation {
        id: settle
        target: root
        property: "pulse"
        to: 0
        duration: 200
        easing.type: Easing.OutQuad
    }

    function follow() {
        if (live) {
            settle.stop()
            beat = true
            breathe.restart()
        } else {
            breathe.stop()
            beat = false
            settle.restart()
        }
    }

    onLiveChanged: follow()
    Component.onCompleted: follow()
}
