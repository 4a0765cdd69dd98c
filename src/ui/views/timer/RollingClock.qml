import QtQuick
import Zimbrel.Ui as Ui

// A clock whose digits roll to their new value like a counter's wheels: the
// old digit slides up out of its cell as the new one comes in from below.
// Every digit sits in a cell as wide as the widest digit (as in ClockText),
// so the text never shifts.
Row {
    id: root

    property string text
    property font font: Qt.application.font
    property color color: Ui.Palette.ink
    // The opaque colour the clock sits on, if any. Each cell then paints it
    // under its digits, so a frame repaints only the cells and not the card,
    // dial and window beneath them.
    property color backdrop: "transparent"

    readonly property real digitWidth: Ui.Figures.digitCell(font)

    // The shared motion clock, looked up once for every cell.
    readonly property QtObject motion: Ui.Motion

    Accessible.role: Accessible.StaticText
    Accessible.name: text

    // Each second changes one or two characters: the clock hands every cell
    // its character here, instead of every cell's binding reading the whole
    // text again (and re-subscribing to it) on each change.
    onTextChanged: {
        for (let i = 0; i < cells.count; ++i) {
            const cell = cells.itemAt(i)
            if (cell)
                cell.character = text.charAt(i)
        }
    }

    Repeater {
        id: cells
        model: root.text.length

        Rectangle {
            id: cell

            required property int index
            property string character
            readonly property bool digit: character >= "0" && character <= "9"
            property string settled
            // When the character last changed, on the shared motion clock.
            property int changedAt: -100000
            // 0 when the character has just changed, 1 once it has rolled in.
            // The roll is drawn in two frames shared with every other moving
            // part (three quarters in on the change, settled on the next), so
            // a running clock costs two frames a second, not one per digit.
            property real progress: 1
            // Only while rolling does the cell follow the motion clock, so a
            // clock's resting cells cost nothing on the frames of the others.
            property bool rolling: false
            // The two faces take turns: the one that shows the character
            // rolls in, the other keeps the character before it and rolls
            // out. A change thus lays out one character, and the roll only
            // moves the faces; a text whose colour changed would have its
            // glyphs built again.
            property bool firstShows: true

            function follow() {
                const motion = root.motion
                const along = motion.still ? 1 : Math.min(1, (motion.now - changedAt + motion.frameMs) / (2 * motion.frameMs))
                progress = 1 - (1 - along) * (1 - along)
                rolling = progress < 1
                // The whole cell is painted again: a plain rectangle is
                // cheaper to repaint than the ragged region of the faces'
                // old and new places, which the painter clips line by line.
                if (root.backdrop.a > 0)
                    update()
            }

            Connections {
                target: root.motion
                enabled: cell.rolling
                function onNowChanged() { cell.follow() }
                function onStillChanged() { cell.follow() }
            }

            // Whole pixels, so that the backdrops cover every pixel they
            // touch and nothing beneath is painted again.
            width: digit ? root.digitWidth : Ui.Figures.characterCell(root.font, character)
            height: Math.ceil(first.implicitHeight)
            color: root.backdrop
            clip: true
            Accessible.ignored: true

            Component.onCompleted: {
                settled = root.text.charAt(index)
                character = settled
                first.text = settled
            }
            onCharacterChanged: {
                if (character === settled)
                    return
                settled = character
                firstShows = !firstShows
                const face = firstShows ? first : second
                face.text = character
                changedAt = root.motion.begin(root.motion.frameMs)
                follow()
            }

            component Face: Text {
                property bool shows
                y: shows ? (1 - cell.progress) * cell.height : -cell.progress * cell.height
                visible: shows || cell.progress < 1
                width: cell.width
                horizontalAlignment: Text.AlignHCenter
                font: root.font
                color: root.color
                Accessible.ignored: true
            }
            Face {
                id: first
                shows: cell.firstShows
            }
            Face {
                id: second
                shows: !cell.firstShows
            }
        }
    }
}
