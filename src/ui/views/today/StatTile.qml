import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// A figure of the day: a tinted icon on its pale square, the value on one
// line (shrinking to fit) and its label. `clock` shows a running clock whose
// digits roll and never shift.
Ui.CardStyle {
    id: root

    required property string icon
    required property color tint
    required property color soft
    required property string value
    required property string label
    property bool clock: false
    // Extra content under the row (the goal tile's bar).
    property alias below: extra.data

    padding: 14
    implicitWidth: 180
    implicitHeight: body.implicitHeight + 2 * padding
    Accessible.role: Accessible.StaticText
    Accessible.name: label + ": " + value

    ColumnLayout {
        id: body
        width: parent.width
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 12

            Rectangle {
                implicitWidth: 36
                implicitHeight: 36
                radius: 10
                color: root.soft
                Ui.FlexIcon {
                    anchors.centerIn: parent
                    name: root.icon
                    solid: true
                    size: 18
                    color: root.tint
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                spacing: 1

                Item {
                    Layout.fillWidth: true
                    implicitHeight: 24
                    Text {
                        objectName: "tileValue"
                        anchors.fill: parent
                        visible: !root.clock
                        // Fitting the text to the width is costly: not for a
                        // hidden one every second.
                        text: root.clock ? "" : root.value
                        color: Ui.Palette.ink
                        font.pixelSize: 19
                        font.weight: Font.DemiBold
                        fontSizeMode: Text.HorizontalFit
                        minimumPixelSize: 11
                        elide: Text.ElideRight
                        maximumLineCount: 1
                        verticalAlignment: Text.AlignVCenter
                        Accessible.ignored: true
                    }
                    App.RollingClock {
                        anchors.verticalCenter: parent.verticalCenter
                        visible: root.clock
                        scale: Math.min(1, parent.width / Math.max(1, implicitWidth))
                        transformOrigin: Item.Left
                        text: root.clock ? root.value : ""
                        color: Ui.Palette.ink
                        backdrop: Ui.Palette.card
                        font.pixelSize: 19
                        font.weight: Font.DemiBold
                        Accessible.ignored: true
                    }
                }
                Text {
                    Layout.fillWidth: true
                    text: root.label
                    color: Ui.Palette.muted
                    font.pixelSize: 11
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    Accessible.ignored: true
                }
            }
        }

        Item {
            id: extra
            Layout.fillWidth: true
            visible: children.length > 0
            implicitHeight: childrenRect.height
        }
    }
}
