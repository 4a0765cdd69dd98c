import QtQuick
import QtQuick.Templates as T
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The navigation: Timer, Today and Settings. Upright beside the screen (with
// the mark above and the member's avatar below), or side by side along the
// bottom of a narrow window.
Item {
    id: root

    property bool horizontal: false

    // The screens in the model's order (its Screen enum: 0, 1, 2).
    readonly property var items: [
        { screen: 0, icon: "stopwatch", title: "Timer" },
        { screen: 1, icon: "graph-bar-increase-square", title: "Today" },
        { screen: 2, icon: "cog", title: "Settings" }
    ]
    readonly property bool running: App.Model.isRunning
    // A minimised window draws nothing, but the mark's pulse would still run
    // several times a second: let the dot rest while nobody can see it.
    readonly property bool onScreen: Window.visibility !== Window.Minimized && Window.visibility !== Window.Hidden
    readonly property string person: App.Model.userName !== "" ? App.Model.userName : "Zimbrel"

    implicitWidth: horizontal ? row.implicitWidth : 80
    implicitHeight: horizontal ? 64 : column.implicitHeight

    component RailItem: T.AbstractButton {
        id: item
        required property var modelData
        readonly property bool current: App.Model.screen === modelData.screen

        objectName: "railItem." + modelData.title
        text: modelData.title
        implicitWidth: 64
        implicitHeight: 58
        checkable: false
        Accessible.role: Accessible.PageTab
        Accessible.name: text
        Accessible.selected: current
        Accessible.onPressAction: clicked()
        onClicked: App.Model.screen = modelData.screen

        contentItem: Column {
            spacing: 4
            Rectangle {
                objectName: "tile"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 40
                height: 32
                radius: 11
                color: item.current ? Ui.Palette.lime
                                    : item.hovered ? Qt.rgba(1, 1, 1, 0.08) : "transparent"
                Ui.FlexIcon {
                    anchors.centerIn: parent
                    name: item.modelData.icon
                    solid: item.current
                    size: 18
                    color: item.current ? Ui.Palette.limeInk : Ui.Palette.shellMuted
                }
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: item.text
                color: item.current ? "#ffffff" : Ui.Palette.shellMuted
                font.pixelSize: 11
                font.weight: Font.DemiBold
            }
        }
    }

    Column {
        id: column
        visible: !root.horizontal
        anchors.horizontalCenter: parent.horizontalCenter
        y: 16
        spacing: 10

        Ui.ZimbrelMark {
            id: mark
            objectName: "railMark"
            anchors.horizontalCenter: parent.horizontalCenter
            size: 40
            tone: Ui.ZimbrelTone.OnDark
            live: root.running && root.onScreen
            readonly property string help: root.running ? "Zimbrel is tracking" : "Zimbrel"
            Accessible.description: help
            HoverHandler { id: markHover }
            T.ToolTip.visible: markHover.hovered
            T.ToolTip.text: help
            T.ToolTip.delay: 500
        }

        Item { width: 1; height: 8 }

        Repeater {
            model: root.horizontal ? [] : root.items
            RailItem {}
        }
    }

    // The member's portrait with a dot that shows whether the timer runs.
    Item {
        id: avatar
        objectName: "railAvatar"
        visible: !root.horizontal
        width: 36
        height: 36
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 18
        Accessible.role: Accessible.Graphic
        Accessible.name: root.person

        Ui.AvatarView {
            anchors.fill: parent
            name: root.person
            size: 36
        }

        Rectangle {
            objectName: "statusDot"
            width: 12
            height: 12
            radius: 6
            x: parent.width - 9
            y: parent.height - 9
            color: root.running ? Ui.Palette.lime : Ui.Palette.shellMuted
            border.width: 2
            border.color: Ui.Palette.shell
        }

        HoverHandler { id: avatarHover }
        T.ToolTip.visible: avatarHover.hovered
        T.ToolTip.text: root.person
        T.ToolTip.delay: 500
    }

    Row {
        id: row
        visible: root.horizontal
        anchors.centerIn: parent
        spacing: 18

        Repeater {
            model: root.horizontal ? root.items : []
            RailItem {}
        }
    }
}
