import Zimbrel.Ui
import QtQuick

// Text whose digits each take the same width, so a running clock such as
// "02:05:09" never shifts sideways: every digit sits centred in a cell as wide
// as the widest digit (see Figures).
Row {
    id: root

    property string text
    property font font: Qt.application.font
    property color color: Palette.ink

    readonly property real digitWidth: Figures.digitCell(font)

    Accessible.role: Accessible.StaticText
    Accessible.name: text

    Repeater {
        model: root.text.length
        Text {
            required property int index
            readonly property string character: root.text.charAt(index)
            readonly property bool digit: character >= "0" && character <= "9"
            text: character
            font: root.font
            color: root.color
            width: digit ? root.digitWidth : implicitWidth
            horizontalAlignment: Text.AlignHCenter
            Accessible.ignored: true
        }
    }
}
