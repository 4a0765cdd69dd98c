import QtQuick
import QtQuick.Templates as T
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// One picker of the work picker: icon, label and value, and a menu of the
// choices with a check mark at the current one. While the timer runs it is
// disabled, faded and says why.
Item {
    id: root

    required property string icon
    required property string label
    required property string value
    property bool placeholder: false
    // A ProjectListModel: roles name and current.
    property var items
    // Whether there is anything to choose (the task row needs a project with tasks).
    property bool choosable: true
    readonly property string help: App.TimerViewModel.running ? App.TimerViewModel.pickerHelp(label) : ""

    // Whether the row takes a choice now; while the timer runs it does not.
    readonly property bool active: choosable && !App.TimerViewModel.running

    signal chosen(int row)

    implicitHeight: 48
    implicitWidth: 200

    // The help sits on the row's frame, which stays enabled: a disabled item
    // gets no hover.
    T.ToolTip.visible: hover.hovered && help !== ""
    T.ToolTip.text: help
    T.ToolTip.delay: 600
    HoverHandler { id: hover }

    function open() {
        if (active && root.items && root.items.count > 0) {
            choices.active = true
            menu.popup(body.x, body.y + body.height)
        }
    }

    Item {
        id: body
        objectName: "pickerBody"
        anchors.fill: parent
        enabled: root.active
        opacity: enabled ? 1 : 0.55
        activeFocusOnTab: true

        Keys.onSpacePressed: root.open()
        Keys.onReturnPressed: root.open()
        Keys.onEnterPressed: root.open()
        Keys.onDownPressed: root.open()

        Accessible.role: Accessible.ComboBox
        Accessible.focusable: true
        Accessible.focused: activeFocus
        Accessible.name: root.label + ": " + root.value
        Accessible.description: root.help
        Accessible.onPressAction: root.open()

        Rectangle {
            anchors.fill: parent
            radius: 12
            color: area.containsMouse && root.active ? Ui.Palette.track : "transparent"
            border.width: body.activeFocus ? 2 : 0
            border.color: Ui.Palette.brand
        }

        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: root.active ? Qt.PointingHandCursor : Qt.ArrowCursor
            onClicked: root.open()
        }

        RowLayout {
            id: row
            anchors.fill: parent
            anchors.leftMargin: 4
            anchors.rightMargin: 6
            spacing: 10

            Rectangle {
                implicitWidth: 32
                implicitHeight: 32
                radius: 9
                color: Ui.Palette.brandSoft
                Ui.FlexIcon {
                    anchors.centerIn: parent
                    name: root.icon
                    solid: true
                    size: 16
                    color: Ui.Palette.brand
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                spacing: 1
                Text {
                    Layout.fillWidth: true
                    text: root.label
                    color: Ui.Palette.muted
                    font.pixelSize: 11
                    elide: Text.ElideRight
                }
                Text {
                    objectName: "pickerValue"
                    Layout.fillWidth: true
                    text: root.value
                    color: root.placeholder ? Ui.Palette.muted : Ui.Palette.ink
                    font.pixelSize: 13
                    font.weight: root.placeholder ? Font.Normal : Font.DemiBold
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }
            }

            Ui.FlexIcon {
                name: "chevron-up-chevron-down"
                size: 14
                color: Ui.Palette.muted
            }
        }
    }

    T.Menu {
        id: menu
        objectName: "pickerMenu"
        // As wide as the row, never wider than the window allows.
        width: Math.max(root.width, 220)
        implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                                 contentHeight + topPadding + bottomPadding)
        padding: 6
        overlap: 1

        // The entries in a list that scrolls when the window is too short for them.
        contentItem: ListView {
            implicitHeight: contentHeight
            model: menu.contentModel
            interactive: Window.window ? contentHeight + menu.topPadding + menu.bottomPadding > Window.window.height : false
            clip: true
            currentIndex: menu.currentIndex
            T.ScrollBar.vertical: Ui.ThinScrollBar { policy: T.ScrollBar.AsNeeded }
        }

        background: Rectangle {
            implicitWidth: 220
            radius: 12
            color: Ui.Palette.card
            border.width: 1
            border.color: Ui.Palette.line
        }

        // The entries are made when the menu first opens, not with the window.
        Instantiator {
            id: choices
            active: false
            model: root.items
            delegate: T.MenuItem {
                id: item
                required property int index
                required property string name
                required property bool current
                text: name
                implicitWidth: implicitContentWidth + leftPadding + rightPadding
                implicitHeight: 32
                padding: 6
                Accessible.name: name
                Accessible.checked: current
                Accessible.onPressAction: triggered()
                onTriggered: root.chosen(index)

                background: Rectangle {
                    radius: 8
                    color: item.highlighted ? Ui.Palette.track : "transparent"
                }
                indicator: Item {}
                contentItem: RowLayout {
                    spacing: 8
                    Item {
                        implicitWidth: 14
                        implicitHeight: 14
                        Ui.FlexIcon {
                            anchors.fill: parent
                            visible: item.current
                            name: "checkmark"
                            size: 14
                            color: Ui.Palette.brand
                        }
                    }
                    Text {
                        Layout.fillWidth: true
                        Layout.minimumWidth: 0
                        text: item.name
                        color: Ui.Palette.ink
                        font.pixelSize: 13
                        elide: Text.ElideRight
                    }
                }
            }
            onObjectAdded: (index, object) => menu.insertItem(index, object)
            onObjectRemoved: (index, object) => menu.removeItem(object)
        }
    }
}
