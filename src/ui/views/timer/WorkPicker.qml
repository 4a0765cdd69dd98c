import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// What the time is for: the project and task pickers, and the private switch.
Ui.CardStyle {
    id: root

    readonly property var vm: App.TimerViewModel

    padding: 14
    implicitHeight: body.implicitHeight + 2 * padding

    ColumnLayout {
        id: body
        width: parent.width
        spacing: 4

        App.PickerRow {
            objectName: "projectPicker"
            Layout.fillWidth: true
            icon: "new-folder"
            label: "Project"
            value: root.vm.projectValue
            placeholder: root.vm.projectPlaceholder
            items: root.vm.projectItems
            choosable: true
            onChosen: row => root.vm.chooseProject(row)
        }

        App.PickerRow {
            objectName: "taskPicker"
            Layout.fillWidth: true
            icon: "check-square"
            label: "Task"
            value: root.vm.taskValue
            placeholder: root.vm.taskPlaceholder
            items: root.vm.taskItems
            choosable: root.vm.taskChoosable
            onChosen: row => root.vm.chooseTask(row)
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.topMargin: 6
            Layout.bottomMargin: 6
            implicitHeight: 1
            color: Ui.Palette.line
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 10

            Rectangle {
                implicitWidth: 32
                implicitHeight: 32
                radius: 9
                color: Ui.Palette.track
                Ui.FlexIcon {
                    anchors.centerIn: parent
                    name: "invisible-1"
                    size: 16
                    color: Ui.Palette.ink2
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                spacing: 1
                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    Layout.fillWidth: true
                    text: "Private mode"
                    color: Ui.Palette.ink
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    elide: Text.ElideRight
                }
                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    Layout.fillWidth: true
                    text: "Time counts; screenshots pause."
                    color: Ui.Palette.muted
                    font.pixelSize: 11
                    wrapMode: Text.Wrap
                }
            }

            App.PrivateSwitch {
                objectName: "privateSwitch"
                checked: root.vm.isPrivate
                onToggled: root.vm.setPrivate(checked)
            }
        }
    }
}
