import QtQuick
import Zimbrel.Ui as Ui

// An input counter of the live activity card: icon, number and unit. The
// number counts to its new value instead of jumping.
Row {
    id: root

    required property string icon
    required property int count
    required property string unit
    // The number on screen glides to the new count.
    readonly property real shown: glide.value

    spacing: 6
    Ui.Glide {
        id: glide
        target: root.count
    }
    Accessible.role: Accessible.StaticText
    Accessible.name: count + " " + unit

    Ui.FlexIcon {
        anchors.verticalCenter: parent.verticalCenter
        name: root.icon
        solid: true
        size: 15
        color: Ui.Palette.ink2
    }
    Ui.ClockText {
        anchors.verticalCenter: parent.verticalCenter
        text: String(Math.round(root.shown))
        color: Ui.Palette.ink
        font.pixelSize: 15
        font.weight: Font.DemiBold
        Accessible.ignored: true
    }
    Text {
        anchors.verticalCenter: parent.verticalCenter
        text: root.unit
        color: Ui.Palette.muted
        font.pixelSize: 11
        Accessible.ignored: true
    }
}
