import QtQuick
import Zimbrel.Ui as Ui

// One input of the sign-in form: a semibold label above a 44-high rounded box
// holding the icon and a single-line input. Focused, the border turns brand
// and 1.5 wide, the icon turns brand, and two soft brand layers ring the box.
// A secret field echoes dots and never hands its text to accessibility.
Column {
    id: root

    required property string label
    required property string iconName
    property string placeholder
    property bool secret: false
    property alias text: input.text
    readonly property alias input: input
    readonly property bool focused: input.activeFocus

    // Return or Enter in the input.
    signal accepted()

    spacing: 7

    Text {
        text: root.label
        color: Ui.Palette.ink2
        font.pixelSize: 12
        font.weight: Font.DemiBold
        Accessible.ignored: true
    }

    Item {
        id: box
        objectName: root.objectName + "Box"
        width: root.width
        height: 44

        // The glow: brand at 14 % further out, brand at 18 % close in.
        Rectangle {
            anchors.fill: parent
            anchors.margins: -5
            radius: frame.radius + 5
            color: Qt.rgba(Ui.Palette.brand.r, Ui.Palette.brand.g, Ui.Palette.brand.b, 0.14)
            opacity: root.focused ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }
        }
        Rectangle {
            anchors.fill: parent
            anchors.margins: -2.5
            radius: frame.radius + 2.5
            color: Qt.rgba(Ui.Palette.brand.r, Ui.Palette.brand.g, Ui.Palette.brand.b, 0.18)
            opacity: root.focused ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: 150; easing.type: Easing.OutQuad } }
        }

        Rectangle {
            id: frame
            objectName: root.objectName + "Frame"
            anchors.fill: parent
            radius: 12
            color: Ui.Palette.card
            border.width: root.focused ? 1.5 : 1
            border.color: root.focused ? Ui.Palette.brand : Ui.Palette.line
            Behavior on border.color { ColorAnimation { duration: 150; easing.type: Easing.OutQuad } }
        }

        Ui.FlexIcon {
            id: icon
            anchors.left: parent.left
            anchors.leftMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            name: root.iconName
            size: 17
            color: root.focused ? Ui.Palette.brand : Ui.Palette.muted
        }

        TextInput {
            id: input

            // The name a secret input gives assistive technology (SecretInputAccessible).
            property string accessibleLabel: root.label

            objectName: root.objectName + "Input"
            anchors.left: icon.right
            anchors.leftMargin: 10
            anchors.right: parent.right
            anchors.rightMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            clip: true
            color: Ui.Palette.ink
            selectionColor: Ui.Palette.brandSoft
            selectedTextColor: Ui.Palette.ink
            font.pixelSize: 14
            selectByMouse: true
            activeFocusOnTab: true
            echoMode: root.secret ? TextInput.Password : TextInput.Normal
            passwordCharacter: "\u2022"
            inputMethodHints: root.secret ? (Qt.ImhHiddenText | Qt.ImhSensitiveData | Qt.ImhNoPredictiveText)
                                          : Qt.ImhNoAutoUppercase
            onAccepted: root.accepted()

            Accessible.role: Accessible.EditableText
            Accessible.name: root.label
            Accessible.description: root.placeholder
            Accessible.passwordEdit: root.secret
            Accessible.editable: true

            Text {
                anchors.fill: parent
                verticalAlignment: Text.AlignVCenter
                text: root.placeholder
                color: Ui.Palette.muted
                font: input.font
                elide: Text.ElideRight
                visible: input.text.length === 0 && input.preeditText.length === 0
                Accessible.ignored: true
            }
        }

        // A click anywhere in the box puts the caret in the input.
        MouseArea {
            anchors.fill: parent
            z: -1
            onPressed: input.forceActiveFocus()
        }
    }
}
