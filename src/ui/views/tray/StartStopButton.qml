import QtQuick
import QtQuick.Shapes
import QtQuick.Templates as T
import Zimbrel.Ui as Ui

// The round start/stop button of the tray panel: a lime disc with the play
// triangle while stopped and a rounded square while running, in lime ink.
T.AbstractButton {
    id: control

    required property bool running

    implicitWidth: 44
    implicitHeight: 44
    opacity: !enabled ? 0.45 : (down ? 0.85 : 1)
    scale: enabled && down ? 0.96 : 1
    Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: if (enabled) clicked()

    background: Rectangle {
        radius: width / 2
        color: Ui.Palette.lime
    }

    contentItem: Item {
        Rectangle {
            objectName: "stopShape"
            visible: control.running
            anchors.centerIn: parent
            width: 14
            height: 14
            radius: 3.5
            color: Ui.Palette.limeInk
        }

        // A triangle with softened corners, nudged right so it looks centred.
        Shape {
            objectName: "playShape"
            visible: !control.running
            anchors.centerIn: parent
            anchors.horizontalCenterOffset: 2
            width: 14
            height: 16
            ShapePath {
                fillColor: Ui.Palette.limeInk
                strokeColor: Ui.Palette.limeInk
                strokeWidth: 2.4
                joinStyle: ShapePath.RoundJoin
                startX: 1.2; startY: 1.2
                PathLine { x: 12.8; y: 8 }
                PathLine { x: 1.2; y: 14.8 }
                PathLine { x: 1.2; y: 1.2 }
            }
        }
    }
}
