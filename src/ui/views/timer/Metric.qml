import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// A small figure on the hero: its label over its value, the value in lime
// when `lit`.
Column {
    id: root

    required property string label
    required property string value
    property bool lit: false
    // The opaque colour behind the figure (see RollingClock).
    property color backdrop: "transparent"

    spacing: 3
    Accessible.role: Accessible.StaticText
    Accessible.name: label + ": " + value

    Text {
        text: root.label
        color: Qt.rgba(1, 1, 1, 0.55)
        font.pixelSize: 11
        Accessible.ignored: true
    }
    App.RollingClock {
        text: root.value
        color: root.lit ? Ui.Palette.lime : "white"
        backdrop: root.backdrop
        font.pixelSize: 15
        font.weight: Font.DemiBold
        Accessible.ignored: true
    }
}
