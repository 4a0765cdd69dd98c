import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The sign-in screen (laid out in full later): for now the way into the demo.
Item {
    id: root

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 16

        Text {
            text: "Welcome back"
            color: Ui.Palette.ink
            font.pixelSize: 24
            font.weight: Font.Medium
        }

        Button {
            text: "Explore the demo"
            onClicked: App.Model.enterDemo()
            Accessible.onPressAction: clicked()
        }
    }
}
