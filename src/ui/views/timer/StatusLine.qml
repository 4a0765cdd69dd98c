import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// One line on the exchange with the server; rose when something failed, with
// "Try again" after a failed refresh.
RowLayout {
    id: root

    readonly property var vm: App.TimerViewModel
    readonly property color tone: vm.statusAlert ? Ui.Palette.rose : Ui.Palette.muted

    spacing: 6

    Ui.FlexIcon {
        Layout.alignment: Qt.AlignTop
        Layout.topMargin: 1
        name: "wave-signal-circle"
        size: 13
        color: root.tone
    }
    Text {
        Accessible.role: Accessible.StaticText
        Accessible.name: text
        objectName: "statusText"
        Layout.fillWidth: true
        Layout.minimumWidth: 0
        text: root.vm.statusText
        color: root.tone
        font.pixelSize: 11
        wrapMode: Text.Wrap
    }
    Text {
        objectName: "tryAgain"
        Layout.alignment: Qt.AlignTop
        visible: root.vm.canRetry
        text: "Try again"
        color: Ui.Palette.brand
        font.pixelSize: 11
        font.weight: Font.DemiBold
        font.underline: retryArea.containsMouse
        Accessible.role: Accessible.Link
        Accessible.name: text
        Accessible.onPressAction: root.vm.retry()

        MouseArea {
            id: retryArea
            anchors.fill: parent
            anchors.margins: -4
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: root.vm.retry()
        }
    }
}
