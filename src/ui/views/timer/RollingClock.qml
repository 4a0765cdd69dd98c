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
            // 0 when the character has just changed, 1 once it has rolled in.
            property real progress: 1
            property int step: 4

            width: digit ? root.digitWidth : incoming.implicitWidth
            height: incoming.implicitHeight
            clip: true
            Accessible.ignored: true

            Component.onCompleted: settled = character
            onCharacterChanged: {
                outgoing.text = settled
                settled = character
                step = 0
                progress = 0
                roll.restart()
            }

            Text {
                id: incoming
                y: (1 - cell.progress) * cell.height * 0.55
                opacity: cell.progress
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: cell.character
                font: root.font
                color: root.color
                Accessible.ignored: true
            }
            Text {
                id: outgoing
                y: -cell.progress * cell.height * 0.55
                opacity: 1 - cell.progress
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                font: root.font
                color: root.color
                Accessible.ignored: true
            }

            // The roll in four eased frames (ease-out over about 0.26 s) rather
            // than at the display's frame rate: a running clock changes every
            // second, and a window open all day should redraw little for it.
            Timer {
                id: roll
                interval: 65
                repeat: true
                onTriggered: {
                    cell.step += 1
                    cell.progress = 1 - Math.pow(1 - cell.step / 4, 3)
                    if (cell.step >= 4)
                        stop()
                }
            }
        }
    }
}
