import QtQuick
import Zimbrel.Ui as Ui

// A card of the Settings screen: an optional title above its rows.
Item {
    id: root

    property string title
    default property alias rows: body.data

    implicitHeight: card.implicitHeight

    Ui.CardStyle {
        id: card
        width: root.width
        height: implicitHeight
        radius: 18
        padding: 18

        Column {
            width: card.width - 2 * card.padding
            spacing: 6

            Text {
                visible: root.title.length > 0
                width: parent.width
                text: root.title
                color: Ui.Palette.ink
                font.pixelSize: 14
                font.weight: Font.DemiBold
                wrapMode: Text.Wrap
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }

            Column {
                id: body
                width: parent.width
            }
        }
    }
}
