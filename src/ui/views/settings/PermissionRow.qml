import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// A permission of the privacy card: "Allowed" while it is granted, else a
// button that asks for it (and opens the help page when it is not granted).
App.SettingsRow {
    id: root

    required property bool allowed
    property string actionText: "Allow\u2026"
    property string allowedText: "Allowed"
    signal allow()

    Rectangle {
        objectName: "allowedTag"
        visible: root.allowed
        width: tagRow.implicitWidth + 20
        height: 26
        radius: height / 2
        color: Ui.Palette.brandSoft
        Accessible.role: Accessible.StaticText
        Accessible.name: root.title + ": " + root.allowedText

        Row {
            id: tagRow
            anchors.centerIn: parent
            spacing: 4
            Ui.FlexIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "checkmark"
                size: 12
                color: Ui.Palette.brand
            }
            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                anchors.verticalCenter: parent.verticalCenter
                text: root.allowedText
                color: Ui.Palette.brand
                font.pixelSize: 12
                font.weight: Font.DemiBold
            }
        }
    }

    Ui.PillButtonStyle {
        objectName: "allowButton"
        visible: !root.allowed
        height: 30
        kind: Ui.PillButtonStyle.Brand
        text: root.actionText
        Accessible.name: root.actionText.replace("\u2026", "") + " " + root.title
        onClicked: root.allow()
        Accessible.onPressAction: root.allow()
    }
}
