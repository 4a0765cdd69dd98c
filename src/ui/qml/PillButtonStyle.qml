import Zimbrel.Ui
import QtQuick
import QtQuick.Templates as T

// The capsule button of the interface in one of four kinds. Disabled it fades
// to 45 %; pressed it dims to 85 % and shrinks a little, easing out quickly.
T.Button {
    id: control

    enum Kind { Brand, Lime, Quiet, Danger }

    property int kind: PillButtonStyle.Brand
    property string iconName: ""
    // The ring shown around the button while it has keyboard focus.
    property color ringColor: Palette.brand

    readonly property color fill: kind === PillButtonStyle.Lime ? Palette.lime
                                 : kind === PillButtonStyle.Quiet ? Palette.card
                                 : kind === PillButtonStyle.Danger ? Palette.roseSoft
                                 : Palette.brand
    readonly property color foreground: kind === PillButtonStyle.Lime ? Palette.limeInk
                                       : kind === PillButtonStyle.Quiet ? Palette.ink
                                       : kind === PillButtonStyle.Danger ? Palette.rose
                                       : "#ffffff"
    readonly property bool bordered: kind === PillButtonStyle.Quiet

    implicitHeight: 36
    implicitWidth: Math.max(implicitHeight, implicitContentWidth + leftPadding + rightPadding)
    leftPadding: 18
    rightPadding: 18
    topPadding: 0
    bottomPadding: 0
    font.family: Qt.application.font.family
    font.pixelSize: 13
    font.weight: Font.DemiBold

    opacity: !enabled ? 0.45 : (down ? 0.85 : 1)
    scale: enabled && down ? 0.98 : 1
    Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }

    Accessible.name: text

    contentItem: Item {
        implicitWidth: row.implicitWidth
        implicitHeight: row.implicitHeight
        Row {
            id: row
            anchors.centerIn: parent
            spacing: 6
            FlexIcon {
                anchors.verticalCenter: parent.verticalCenter
                visible: control.iconName !== ""
                name: control.iconName
                size: 14
                color: control.foreground
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: control.text
                font: control.font
                color: control.foreground
                elide: Text.ElideRight
            }
        }
    }

    background: Rectangle {
        objectName: "pillBackground"
        radius: height / 2
        color: control.fill
        border.width: control.bordered ? 1 : 0
        border.color: Palette.line

        Rectangle {
            objectName: "focusRing"
            anchors.fill: parent
            anchors.margins: -4
            radius: height / 2
            color: "transparent"
            border.width: 2
            border.color: control.ringColor
            visible: control.visualFocus
        }
    }
}
