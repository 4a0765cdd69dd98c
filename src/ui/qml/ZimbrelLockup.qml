import Zimbrel.Ui
import QtQuick

// The mark followed by the wordmark, `size` high, read out as one element.
Row {
    id: root

    property real size: 28
    property int tone: ZimbrelTone.Auto
    property bool live: false
    readonly property bool darkLook: tone === ZimbrelTone.OnDark || (tone === ZimbrelTone.Auto && Appearance.dark)

    spacing: 0.25 * size
    Accessible.role: Accessible.Graphic
    Accessible.name: "Zimbrel"

    ZimbrelMark {
        objectName: "lockupMark"
        size: root.size
        tone: root.tone
        live: root.live
        Accessible.ignored: true
    }

    ZimbrelWordmark {
        objectName: "lockupWordmark"
        height: root.size * 180 / 220
        width: height * 778 / 180
        anchors.verticalCenter: parent.verticalCenter
        color: root.darkLook ? "#ffffff" : Palette.ink
        Accessible.ignored: true
    }
}
