import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The question about time away, shown until it is answered: how long, from
// when to when, and the answers. Narrow (the tray panel) the buttons wrap.
Rectangle {
    id: root

    readonly property var away: App.Model.away

    objectName: "awayBanner"
    visible: away.asking
    implicitHeight: visible ? body.implicitHeight + 24 : 0
    radius: 14
    color: Ui.Palette.amberSoft
    border.width: 1
    border.color: Qt.alpha(Ui.Palette.amber, 0.35)

    Accessible.role: Accessible.AlertMessage
    Accessible.name: away.question
    Accessible.description: away.detail

    // The question's contents are made when it is asked, not with the screen.
    Loader {
        id: body
        x: 12
        y: 12
        active: root.away.asking
        sourceComponent: ColumnLayout {
            width: root.width - 24
            spacing: 10

            RowLayout {
                Layout.fillWidth: true
                spacing: 10
                Rectangle {
                    Layout.alignment: Qt.AlignTop
                    implicitWidth: 28
                    implicitHeight: 28
                    radius: 8
                    color: Qt.alpha(Ui.Palette.amber, 0.18)
                    Ui.FlexIcon {
                        anchors.centerIn: parent
                        name: "stopwatch"
                        size: 16
                        color: Ui.Palette.amber
                    }
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Text {
                        objectName: "awayQuestion"
                        Layout.fillWidth: true
                        text: root.away.question
                        color: Ui.Palette.ink
                        font.pixelSize: 14
                        font.weight: Font.DemiBold
                        wrapMode: Text.Wrap
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Text {
                        objectName: "awayDetail"
                        Layout.fillWidth: true
                        text: root.away.detail
                        color: Ui.Palette.ink2
                        font.pixelSize: 12
                        wrapMode: Text.Wrap
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }

            Flow {
                Layout.fillWidth: true
                spacing: 8
                Ui.PillButtonStyle {
                    objectName: "awayKeep"
                    kind: Ui.PillButtonStyle.Quiet
                    implicitHeight: 30
                    text: "Keep"
                    onClicked: root.away.keep()
                    Accessible.onPressAction: clicked()
                }
                Ui.PillButtonStyle {
                    objectName: "awayDiscard"
                    kind: Ui.PillButtonStyle.Danger
                    implicitHeight: 30
                    text: "Discard"
                    onClicked: root.away.discard()
                    Accessible.onPressAction: clicked()
                }
                Ui.PillButtonStyle {
                    objectName: "awayDiscardKeepTracking"
                    kind: Ui.PillButtonStyle.Brand
                    implicitHeight: 30
                    visible: root.away.canKeepTracking
                    text: "Discard and keep tracking"
                    onClicked: root.away.discardAndKeepTracking()
                    Accessible.onPressAction: clicked()
                }
            }
        }
    }
}
