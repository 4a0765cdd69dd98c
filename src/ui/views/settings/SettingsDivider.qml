import QtQuick
import Zimbrel.Ui as Ui

// The hairline between rows of a card.
Rectangle {
    width: parent ? parent.width : 0
    height: 1
    color: Ui.Palette.line
    Accessible.ignored: true
}
