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
    // The opaque colour the clock sits on, if any. Each cell then paints it
    // under its digits, so a frame repaints only the cells and not the card,
    // dial and window beneath them.
    property color backdrop: "transparent"

    readonly property real digitWidth: {
        let widest = 0
        for (let d = 0; d < 10; ++d)
            widest = Math.max(widest, metrics.advanceWidth(String(d)))
        return Math.ceil(widest)
    }

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

    // The clock's colour at `share` of its alpha. The rolling digits fade
    // through their colour rather than through item opacity: the software
    // renderer draws text under an opacity below 1 span by span, handing
    // each large glyph to a pool of threads, while text in a translucent
    // colour takes the direct glyph blit. The pixels are the same but for
    // rounding (one level in 255).
    function faded(share) {
        return share >= 1 ? color : Qt.rgba(color.r, color.g, color.b, color.a * share)
    }

    FontMetrics {
        id: metrics
        font: root.font
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
            // rolls in at full colour, the other keeps the character before
            // it and fades as it rolls out. A change thus lays out one
            // character, and settling only moves the faces; a text whose
            // colour changes has its glyphs built again.
            property bool firstShows: true
            // The outgoing face's share of the colour; kept once it is
            // hidden, so hiding it does not touch its glyphs.
            property real outShare: 0

            function follow() {
                const motion = root.motion
                const along = motion.still ? 1 : Math.min(1, (motion.now - changedAt + motion.frameMs) / (2 * motion.frameMs))
                progress = 1 - (1 - along) * (1 - along)
                if (progress < 1)
                    outShare = 1 - progress
                rolling = progress < 1
            }

            Connections {
                target: root.motion
                enabled: cell.rolling
                function onNowChanged() { cell.follow() }
                function onStillChanged() { cell.follow() }
            }

            // Whole pixels, so that the backdrops cover every pixel they
            // touch and nothing beneath is painted again.
            width: digit ? root.digitWidth : Math.ceil(first.implicitWidth)
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
                ;(firstShows ? first : second).text = character
                changedAt = root.motion.begin(root.motion.frameMs)
                follow()
            }

            component Face: Text {
                property bool shows
                y: shows ? (1 - cell.progress) * cell.height * 0.55 : -cell.progress * cell.height * 0.55
                visible: shows || cell.progress < 1
                width: cell.width
                horizontalAlignment: Text.AlignHCenter
                font: root.font
                color: shows ? root.color : root.faded(cell.outShare)
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
