import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// Input activity while tracking: last minute's share, the key and click
// counters and the rolling pulse; without input access, a way to allow it.
Ui.CardStyle {
    id: root

    readonly property var vm: App.TimerViewModel

    padding: 14
    implicitHeight: body.implicitHeight + 2 * padding

    ColumnLayout {
        id: body
        width: parent.width
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                text: "Live activity"
                color: Ui.Palette.ink
                font.pixelSize: 13
                font.weight: Font.DemiBold
                elide: Text.ElideRight
            }
            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                objectName: "activityLine"
                visible: text !== ""
                text: root.vm.activityLine
                color: Ui.Palette.brand
                font.pixelSize: 11
                font.weight: Font.DemiBold
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 18
            App.Counter {
                objectName: "keysCounter"
                icon: "keyboard"
                count: root.vm.keys
                unit: "keys"
            }
            App.Counter {
                objectName: "clicksCounter"
                icon: "left-click"
                count: root.vm.clicks
                unit: "clicks"
            }
            Item { Layout.fillWidth: true }
        }

        App.Pulse {
            objectName: "pulse"
            Layout.fillWidth: true
            Layout.preferredHeight: 46
            values: App.Model.pulse
            active: root.vm.running
            color: Ui.Palette.brand
            trackColor: Ui.Palette.track
            Accessible.ignored: true
        }

        ColumnLayout {
            Layout.fillWidth: true
            visible: !root.vm.inputAllowed
            spacing: 6

            Ui.PillButtonStyle {
                objectName: "allowKeys"
                kind: Ui.PillButtonStyle.Quiet
                implicitHeight: 30
                text: "Allow keys…"
                onClicked: root.vm.allowInput()
            }
            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Layout.fillWidth: true
                text: "Keystrokes are only counted after you allow Input Monitoring"
                color: Ui.Palette.muted
                font.pixelSize: 11
                wrapMode: Text.Wrap
            }
        }
    }
}
