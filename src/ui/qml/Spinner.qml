import QtQuick

// A small progress spinner: eight dots fading around a circle, turning while
// running. Plain items, so every scene graph backend draws it.
Item {
    id: root

    property color color: "#ffffff"
    property bool running: visible
    // What is under way, for assistive technology ("Signing in").
    property string label

    implicitWidth: 14
    implicitHeight: 14
    Accessible.role: Accessible.Animation
    Accessible.name: label

    Item {
        id: wheel
        anchors.fill: parent

        Repeater {
            model: 8
            Rectangle {
                id: dot
                required property int index
                readonly property real angle: dot.index * Math.PI / 4
                width: root.width * 0.2
                height: dot.width
                radius: dot.width / 2
                color: root.color
                opacity: 0.25 + 0.75 * dot.index / 7
                x: root.width / 2 + Math.cos(dot.angle) * (root.width / 2 - dot.width / 2) - dot.width / 2
                y: root.height / 2 + Math.sin(dot.angle) * (root.height / 2 - dot.width / 2) - dot.width / 2
            }
        }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: root.running
        }
    }
}
