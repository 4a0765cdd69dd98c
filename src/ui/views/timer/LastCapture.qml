import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The last screenshot: its thumbnail (or a placeholder), when it was taken
// and when the next one comes; without screen access, a way to allow it.
Ui.CardStyle {
    id: root

    readonly property var vm: App.TimerViewModel

    padding: 14
    implicitHeight: body.implicitHeight + 2 * padding

    RowLayout {
        id: body
        width: parent.width
        spacing: 12

        Rectangle {
            objectName: "thumbnailFrame"
            Layout.alignment: Qt.AlignTop
            implicitWidth: 88
            implicitHeight: 56
            radius: 8
            color: Ui.Palette.track
            clip: true

            Image {
                id: thumbnail
                objectName: "thumbnail"
                anchors.fill: parent
                visible: root.vm.hasShot && status === Image.Ready
                source: root.vm.shotSource
                sourceSize: Qt.size(width * 2, height * 2)
                fillMode: Image.PreserveAspectCrop
                asynchronous: false
                cache: false
                smooth: true
            }
            // No picture yet, or one that could not be read.
            Ui.FlexIcon {
                objectName: "thumbnailPlaceholder"
                anchors.centerIn: parent
                visible: !thumbnail.visible
                name: "iris-scan"
                size: 22
                color: Ui.Palette.muted
            }
            Rectangle {
                anchors.fill: parent
                radius: parent.radius
                color: "transparent"
                border.width: 1
                border.color: Ui.Palette.line
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            spacing: 3

            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                objectName: "captureTitle"
                Layout.fillWidth: true
                text: root.vm.captureTitle
                color: Ui.Palette.ink
                font.pixelSize: 13
                font.weight: Font.DemiBold
                elide: Text.ElideRight
            }
            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                objectName: "captureDetail"
                Layout.fillWidth: true
                text: root.vm.captureDetail
                color: Ui.Palette.muted
                font.pixelSize: 11
                wrapMode: Text.Wrap
            }
            Ui.PillButtonStyle {
                objectName: "allowScreen"
                Layout.topMargin: 4
                visible: !root.vm.screenAllowed
                kind: Ui.PillButtonStyle.Quiet
                implicitHeight: 28
                text: "Allow…"
                onClicked: root.vm.allowScreen()
            }
        }
    }
}
