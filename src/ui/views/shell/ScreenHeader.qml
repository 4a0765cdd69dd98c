import QtQuick
import QtQuick.Layouts
import Zimbrel.Ui as Ui

// The title block at the top of each screen: the eyebrow in the accent
// colour, then the title in ink followed directly by the muted text, and an
// optional view at the right.
RowLayout {
    id: root

    required property string eyebrow
    required property string title
    property string muted
    // Any item placed at the right (the Settings screen passes none).
    default property alias trailing: trailingSlot.data

    spacing: 12

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 4

        Text {
            objectName: "screenEyebrow"
            text: root.eyebrow.toUpperCase()
            color: Ui.Palette.brand
            font.pixelSize: 10
            font.bold: true
            font.letterSpacing: 1.6
            Accessible.role: Accessible.StaticText
            Accessible.name: root.eyebrow
        }

        Text {
            objectName: "screenTitle"
            Layout.fillWidth: true
            textFormat: Text.StyledText
            text: "<font color=\"" + Ui.Palette.ink + "\">" + htmlEscaped(root.title) + "</font>"
                  + "<font color=\"" + Ui.Palette.muted + "\">" + htmlEscaped(root.muted) + "</font>"
            font.pixelSize: 30
            font.weight: Font.Medium
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 21
            elide: Text.ElideRight
            maximumLineCount: 1
            Accessible.role: Accessible.Heading
            Accessible.name: root.title + root.muted

            function htmlEscaped(s) {
                return s.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
            }
        }
    }

    Item {
        id: trailingSlot
        Layout.alignment: Qt.AlignVCenter
        implicitWidth: childrenRect.width
        implicitHeight: childrenRect.height
    }
}
