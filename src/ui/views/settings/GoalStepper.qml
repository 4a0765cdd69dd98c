import QtQuick
import Zimbrel.Ui as Ui

// The daily goal's stepper: minus, the goal as whole hours, plus. The view
// model keeps it between 1 and 14 hours.
Rectangle {
    id: root

    required property string label
    required property bool canDecrease
    required property bool canIncrease
    // The goal in hours and its bounds, read by assistive tools as the value.
    required property real value
    property real from: 1
    property real to: 14
    readonly property real minimumValue: from
    readonly property real maximumValue: to
    readonly property real stepSize: 1
    // What the stepper sets, as read out: "Daily goal".
    property string accessibleName: "Daily goal"

    signal step(int direction)

    implicitWidth: row.implicitWidth
    implicitHeight: 30
    radius: height / 2
    color: Ui.Palette.card
    border.width: 1
    border.color: Ui.Palette.line

    activeFocusOnTab: true
    Keys.onUpPressed: if (canIncrease) step(1)
    Keys.onRightPressed: if (canIncrease) step(1)
    Keys.onDownPressed: if (canDecrease) step(-1)
    Keys.onLeftPressed: if (canDecrease) step(-1)

    Accessible.role: Accessible.SpinBox
    Accessible.name: accessibleName
    Accessible.description: label
    Accessible.focusable: true
    Accessible.focused: activeFocus
    Accessible.onIncreaseAction: if (canIncrease) step(1)
    Accessible.onDecreaseAction: if (canDecrease) step(-1)

    Rectangle {
        objectName: "focusRing"
        anchors.fill: parent
        anchors.margins: -3
        radius: height / 2
        color: "transparent"
        border.width: 2
        border.color: Ui.Palette.brand
        visible: root.activeFocus
    }

    component StepButton: Item {
        id: button
        required property string glyph
        required property string accessibleName
        property bool active: true
        signal pressed()
        width: 30
        height: 30
        opacity: active ? 1 : 0.35
        Accessible.role: Accessible.Button
        Accessible.name: accessibleName
        Accessible.onPressAction: if (active) pressed()
        Text {
            anchors.centerIn: parent
            Accessible.ignored: true
            text: button.glyph
            color: Ui.Palette.ink
            font.pixelSize: 16
            font.weight: Font.Medium
        }
        MouseArea {
            anchors.fill: parent
            enabled: button.active
            onClicked: button.pressed()
        }
    }

    Row {
        id: row
        anchors.centerIn: parent

        StepButton {
            objectName: "goalDecrease"
            glyph: "\u2212"
            accessibleName: "Decrease " + root.accessibleName.toLowerCase()
            active: root.canDecrease
            onPressed: root.step(-1)
        }

        Text {
            objectName: "goalLabel"
            width: Math.max(implicitWidth, 30)
            anchors.verticalCenter: parent.verticalCenter
            horizontalAlignment: Text.AlignHCenter
            text: root.label
            color: Ui.Palette.ink
            font.pixelSize: 13
            font.weight: Font.DemiBold
            Accessible.ignored: true
        }

        StepButton {
            objectName: "goalIncrease"
            glyph: "+"
            accessibleName: "Increase " + root.accessibleName.toLowerCase()
            active: root.canIncrease
            onPressed: root.step(1)
        }
    }
}
