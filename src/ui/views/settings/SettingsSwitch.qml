import QtQuick
import Zimbrel.Ui as Ui

// An on/off switch that shows `checked` as given and only asks for a change
// (switched), so it always shows the model's real state, also after a
// change the model refused.
Item {
    id: root

    required property bool checked
    // Read out instead of a label of its own (the row's title).
    property string accessibleName

    signal switched(bool on)

    function flip() {
        if (enabled)
            root.switched(!root.checked)
    }

    implicitWidth: 40
    implicitHeight: 24
    activeFocusOnTab: true
    opacity: enabled ? 1 : 0.45

    Accessible.role: Accessible.CheckBox
    Accessible.name: accessibleName
    Accessible.checkable: true
    Accessible.checked: checked
    Accessible.onPressAction: flip()
    Accessible.onToggleAction: flip()

    Keys.onSpacePressed: flip()

    Rectangle {
        anchors.fill: parent
        anchors.margins: -3
        radius: height / 2
        color: "transparent"
        border.width: 2
        border.color: Qt.rgba(Ui.Palette.brand.r, Ui.Palette.brand.g, Ui.Palette.brand.b, 0.35)
        visible: root.activeFocus
    }

    Rectangle {
        objectName: "switchTrack"
        anchors.fill: parent
        radius: height / 2
        color: root.checked ? Ui.Palette.brand : Ui.Palette.track
        border.width: root.checked ? 0 : 1
        border.color: Ui.Palette.line
        Behavior on color { ColorAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }

    Rectangle {
        width: root.height - 4
        height: width
        radius: width / 2
        y: 2
        x: root.checked ? root.width - width - 2 : 2
        color: "#ffffff"
        border.width: 1
        border.color: Qt.rgba(0, 0, 0, 0.06)
        Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    }

    MouseArea {
        anchors.fill: parent
        anchors.margins: -4
        cursorShape: Qt.PointingHandCursor
        onClicked: root.flip()
    }
}
