import QtQuick
import Zimbrel.Ui as Ui

// A clock whose digits roll to their new value: the old digit slides up and
// fades as the new one comes in from below. Every digit sits in a cell as
// wide as the widest digit (as in ClockText), so the text never shifts.
Row {
    id: root

    property string text
    property font font: Qt.application.font
    property color color: Ui.Palette.ink

    readonly property real digitWidth: {
        let widest = 0
        for (let d = 0; d < 10; ++d)
            widest = Math.max(widest, metrics.advanceWidth(String(d)))
        return Math.ceil(widest)
    }

    Accessible.role: Accessible.StaticText
    Accessible.name: text

    FontMetrics {
        id: metrics
        font: root.font
    }

    Repeater {
        model: root.text.length

        Item {
            id: cell

            required property int index
            readonly property string character: root.text.charAt(index)
            readonly property bool digit: character >= "0" && character <= "9"
            property string settled

            width: digit ? root.digitWidth : incoming.implicitWidth
            height: incoming.implicitHeight
            clip: true
            Accessible.ignored: true

            Component.onCompleted: settled = character
            onCharacterChanged: {
                outgoing.text = settled
                settled = character
                roll.restart()
            }

            Text {
                id: incoming
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: cell.character
                font: root.font
                color: root.color
                Accessible.ignored: true
            }
            Text {
                id: outgoing
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                opacity: 0
                font: root.font
                color: root.color
                Accessible.ignored: true
            }

            ParallelAnimation {
                id: roll
                NumberAnimation { target: incoming; property: "y"; from: cell.height * 0.55; to: 0; duration: 260; easing.type: Easing.OutCubic }
                NumberAnimation { target: incoming; property: "opacity"; from: 0; to: 1; duration: 260; easing.type: Easing.OutCubic }
                NumberAnimation { target: outgoing; property: "y"; from: 0; to: -cell.height * 0.55; duration: 260; easing.type: Easing.OutCubic }
                NumberAnimation { target: outgoing; property: "opacity"; from: 1; to: 0; duration: 260; easing.type: Easing.OutCubic }
            }
        }
    }
}
