import QtQuick
import QtQuick.Templates as T
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The dark card at the heart of the Timer screen: whether the timer runs,
// the day dial, what is being worked on, the start/stop button and two
// metrics. Stacked (narrow) it centres everything in one column.
Rectangle {
    id: root

    property bool stacked: false
    // The width the hero is given, which the screen can tell before its
    // layout has settled: the arrangement below then follows the final width
    // rather than the layout's first passes. None yet counts as room enough.
    property real room: width
    // Too narrow for the dial beside the details (a wide window with a long
    // side column): one centred column as when stacked.
    readonly property bool oneColumn: stacked || (room > 0 && room < 470)
    readonly property var vm: App.TimerViewModel
    // A wide window gives the dial the room the details do not take.
    readonly property bool roomy: !oneColumn && room >= 760
    readonly property real dialSize: oneColumn ? 168 : roomy ? 248 : 184

    implicitWidth: body.implicitWidth + 2 * padding
    implicitHeight: body.implicitHeight + 2 * padding
    readonly property real padding: oneColumn ? 18 : 22
    radius: 22
    color: Ui.Palette.shell
    border.width: Ui.Palette.dark ? 1 : 0
    border.color: Ui.Palette.line

    ColumnLayout {
        id: body
        anchors.fill: parent
        anchors.margins: root.padding
        spacing: 16

        RowLayout {
            objectName: "heroStatus"
            Layout.alignment: root.oneColumn ? Qt.AlignHCenter : Qt.AlignLeft
            spacing: 8

            Rectangle {
                width: 8
                height: 8
                radius: 4
                color: root.vm.running ? Ui.Palette.lime : Qt.rgba(1, 1, 1, 0.4)
                Layout.alignment: Qt.AlignVCenter
            }
            Text {
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                objectName: "statusLine"
                text: root.vm.statusLine
                color: root.vm.running ? Ui.Palette.lime : Qt.rgba(1, 1, 1, 0.72)
                font.pixelSize: 12
                font.weight: Font.DemiBold
            }
        }

        GridLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            columns: root.oneColumn ? 1 : 2
            columnSpacing: 24
            rowSpacing: 18

            // The dial with today's clock in its centre; one accessible element.
            Item {
                objectName: "dial"
                Layout.alignment: root.oneColumn ? Qt.AlignHCenter : (Qt.AlignLeft | Qt.AlignVCenter)
                implicitWidth: root.dialSize
                implicitHeight: root.dialSize
                Accessible.role: Accessible.ProgressBar
                Accessible.name: root.vm.dialLabel

                App.DayDial {
                    objectName: "dayDial"
                    anchors.fill: parent
                    anchors.margins: -overhang
                    total: root.vm.dialTotal
                    session: root.vm.dialSession
                    goal: root.vm.goalSeconds
                    running: root.vm.running
                    Accessible.ignored: true
                }

                Column {
                    anchors.centerIn: parent
                    width: parent.width * 0.74
                    spacing: 2

                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: "TODAY"
                        color: Qt.rgba(1, 1, 1, 0.6)
                        font.pixelSize: 10
                        font.bold: true
                        font.letterSpacing: 1.4
                        Accessible.ignored: true
                    }
                    // The clock shrinks rather than leave the ring past 99 hours.
                    Item {
                        width: parent.width
                        height: clock.height * clock.scale
                        App.RollingClock {
                            id: clock
                            objectName: "todayClock"
                            anchors.centerIn: parent
                            scale: Math.min(1, parent.width / Math.max(1, implicitWidth))
                            text: root.vm.todayClock
                            color: "white"
                            backdrop: root.color
                            font.pixelSize: root.oneColumn ? 26 : root.roomy ? 34 : 28
                            font.weight: Font.DemiBold
                            Accessible.ignored: true
                        }
                    }
                    Text {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: root.vm.goalLine
                        color: Qt.rgba(1, 1, 1, 0.6)
                        font.pixelSize: 12
                        Accessible.ignored: true
                    }
                }
            }

            ColumnLayout {
                objectName: "heroDetails"
                Layout.fillWidth: true
                Layout.minimumWidth: 0
                Layout.alignment: Qt.AlignVCenter
                spacing: 6

                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    objectName: "projectTitle"
                    Layout.fillWidth: true
                    text: root.vm.projectTitle
                    color: "white"
                    font.pixelSize: 20
                    font.weight: Font.DemiBold
                    horizontalAlignment: root.oneColumn ? Text.AlignHCenter : Text.AlignLeft
                    wrapMode: Text.Wrap
                    maximumLineCount: 2
                    elide: Text.ElideRight
                }
                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    objectName: "taskTitle"
                    Layout.fillWidth: true
                    text: root.vm.taskTitle
                    color: Qt.rgba(1, 1, 1, 0.65)
                    font.pixelSize: 13
                    horizontalAlignment: root.oneColumn ? Text.AlignHCenter : Text.AlignLeft
                    elide: Text.ElideRight
                    maximumLineCount: 1
                }

                // The tooltip sits on a wrapper: a disabled button gets no hover.
                Item {
                    id: buttonBox
                    objectName: "startStopBox"
                    readonly property string help: root.vm.buttonHelp
                    Layout.topMargin: 10
                    Layout.alignment: root.oneColumn ? Qt.AlignHCenter : Qt.AlignLeft
                    Layout.fillWidth: root.oneColumn
                    Layout.maximumWidth: 260
                    implicitWidth: button.implicitWidth
                    implicitHeight: button.implicitHeight
                    T.ToolTip.visible: hover.hovered && help !== ""
                    T.ToolTip.text: help
                    T.ToolTip.delay: 600

                    HoverHandler { id: hover }

                    Ui.PillButtonStyle {
                        id: button
                        objectName: "startStop"
                        anchors.fill: parent
                        kind: Ui.PillButtonStyle.Lime
                        implicitHeight: 44
                        text: root.vm.buttonLabel
                        enabled: root.vm.buttonEnabled
                        ringColor: "white"
                        Accessible.description: buttonBox.help
                        Accessible.onPressAction: if (enabled) root.vm.toggle()
                        onClicked: root.vm.toggle()

                        // No ids inside: contentItem is a deferred property.
                        contentItem: Item {
                            implicitWidth: children[0].implicitWidth
                            implicitHeight: children[0].implicitHeight
                            Row {
                                anchors.centerIn: parent
                                spacing: 9
                                Item {
                                    width: 12
                                    height: 12
                                    anchors.verticalCenter: parent.verticalCenter
                                    App.PlayShape {
                                        anchors.fill: parent
                                        visible: !root.vm.running
                                        color: Ui.Palette.limeInk
                                    }
                                    Ui.SmoothRect {
                                        anchors.centerIn: parent
                                        width: 11
                                        height: 11
                                        radius: 3
                                        visible: root.vm.running
                                        color: Ui.Palette.limeInk
                                    }
                                }
                                Text {
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: button.text
                                    font: button.font
                                    color: button.foreground
                                }
                            }
                        }
                    }
                }

                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    objectName: "startCaption"
                    Layout.fillWidth: true
                    visible: text !== ""
                    text: root.vm.startCaption
                    color: Qt.rgba(1, 1, 1, 0.6)
                    font.pixelSize: 11
                    wrapMode: Text.Wrap
                    horizontalAlignment: root.oneColumn ? Text.AlignHCenter : Text.AlignLeft
                }

                RowLayout {
                    Layout.topMargin: 12
                    Layout.alignment: root.oneColumn ? Qt.AlignHCenter : Qt.AlignLeft
                    spacing: 18

                    App.Metric {
                        objectName: "sessionMetric"
                        label: "This session"
                        value: root.vm.sessionMetric
                        lit: root.vm.running
                        backdrop: root.color
                    }
                    Rectangle {
                        width: 1
                        height: 28
                        color: Qt.rgba(1, 1, 1, 0.14)
                    }
                    App.Metric {
                        objectName: "leftMetric"
                        label: "Left today"
                        value: root.vm.leftToday
                        lit: false
                        backdrop: root.color
                    }
                }
            }
        }
    }
}
