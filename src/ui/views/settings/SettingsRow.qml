import QtQuick
import Zimbrel.Ui as Ui

// One row of a Settings card: the icon on a soft tile, the title and its
// detail, and whatever control is given at the right.
Item {
    id: root

    required property string iconName
    required property string title
    property string detail
    property color detailColor: Ui.Palette.muted
    default property alias trailing: slot.data

    width: parent ? parent.width : implicitWidth
    implicitHeight: Math.max(tile.height, texts.implicitHeight, slot.implicitHeight) + 24

    Rectangle {
        id: tile
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        width: 34
        height: 34
        radius: 10
        color: Ui.Palette.brandSoft

        Ui.FlexIcon {
            anchors.centerIn: parent
            name: root.iconName
            size: 18
            color: Ui.Palette.brand
        }
    }

    Column {
        id: texts
        anchors.left: tile.right
        anchors.leftMargin: 14
        anchors.right: slot.left
        anchors.rightMargin: slot.implicitWidth > 0 ? 14 : 0
        anchors.verticalCenter: parent.verticalCenter
        spacing: 3

        Text {
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            objectName: "rowTitle"
            width: parent.width
            text: root.title
            color: Ui.Palette.ink
            font.pixelSize: 14
            font.weight: Font.DemiBold
            wrapMode: Text.Wrap
        }

        Text {
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            objectName: "rowDetail"
            visible: root.detail.length > 0
            width: parent.width
            text: root.detail
            color: root.detailColor
            font.pixelSize: 12
            lineHeight: 1.15
            wrapMode: Text.Wrap
        }
    }

    Row {
        id: slot
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        spacing: 8
    }
}
