import QtQuick
import QtQuick.Templates as T
import Zimbrel.Ui as Ui

// The private mode switch: a small capsule in the palette's colours. Its
// label is not drawn; assistive tools still read "Private mode".
T.Switch {
    id: control

    implicitWidth: 38
    implicitHeight: 22
    padding: 0
    text: "Private mode"
    Accessible.name: text
    Accessible.onPressAction: flip()
    Accessible.onToggleAction: flip()

    function flip() {
        if (!enabled)
            return
        toggle()
        toggled()
    }

    indicator: Rectangle {
        width: control.width
        height: control.height
        radius: height / 2
        color: control.checked ? Ui.Palette.brand : Ui.Palette.track
        border.width: control.checked ? 0 : 1
        border.color: Ui.Palette.line
        Behavior on color { ColorAnimation { duration: 120 } }

        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: parent.height - 4
            height: width
            radius: width / 2
            color: "white"
            Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
        }
    }
    contentItem: Item {}

    Rectangle {
        objectName: "focusRing"
        anchors.fill: parent
        anchors.margins: -3
        radius: height / 2
        color: "transparent"
        border.width: 2
        border.color: Ui.Palette.brand
        visible: control.visualFocus
    }
}
