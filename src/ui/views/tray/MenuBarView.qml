import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The tray panel: today's total beside the lockup, the timer card (status,
// session clock, start/stop, project line) and the way to the window or out.
// Its texts and rules come from the Timer screen's view model, so the two
// never disagree.
FocusScope {
    id: root

    signal openRequested()
    signal quitRequested()

    readonly property bool running: App.Model.isRunning
    readonly property bool signedIn: App.Model.signedIn

    implicitWidth: 300
    implicitHeight: content.implicitHeight + 28

    component LinkButton: T.AbstractButton {
        id: link
        implicitWidth: implicitContentWidth + 8
        implicitHeight: 28
        Accessible.role: Accessible.Button
        Accessible.name: text
        Accessible.onPressAction: clicked()
        contentItem: Text {
            text: link.text
            color: link.hovered ? Ui.Palette.brandDeep : Ui.Palette.brand
            font.pixelSize: 13
            font.weight: Font.DemiBold
            verticalAlignment: Text.AlignVCenter
            horizontalAlignment: Text.AlignHCenter
            opacity: link.down ? 0.7 : 1
        }
    }

    ColumnLayout {
        id: content
        x: 14
        y: 14
        width: root.width - 28
        spacing: 12

        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Ui.ZimbrelLockup {
                size: 22
                tone: Ui.ZimbrelTone.Auto
                live: root.running
            }
            Item { Layout.fillWidth: true }
            Text {
                objectName: "headerTotal"
                text: App.TimerViewModel.todayShort
                color: Ui.Palette.ink
                font.pixelSize: 13
                font.weight: Font.Medium
                Accessible.role: Accessible.StaticText
                Accessible.name: text + " today"
            }
        }

        App.AwayBanner {
            Layout.fillWidth: true
        }

        Ui.CardStyle {
            Layout.fillWidth: true
            Layout.preferredHeight: card.implicitHeight + 2 * padding
            radius: 16
            padding: 14

            ColumnLayout {
                id: card
                width: parent.width
                spacing: 10

                // The status and the clock at the left, the button at the right.
                Item {
                    Layout.fillWidth: true
                    implicitHeight: Math.max(clockColumn.implicitHeight, 44)
                    Column {
                        id: clockColumn
                        anchors.left: parent.left
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 4
                        Text {
                            objectName: "statusCaption"
                            text: App.TimerViewModel.statusCaption
                            color: root.running ? Ui.Palette.brand : Ui.Palette.muted
                            font.pixelSize: 9
                            font.bold: true
                            font.letterSpacing: 1.4
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                        }
                        Ui.ClockText {
                            objectName: "sessionClock"
                            text: App.TimerViewModel.sessionClock
                            color: Ui.Palette.ink
                            font.pixelSize: 30
                            font.weight: Font.Medium
                        }
                    }
                    App.StartStopButton {
                        objectName: "startStopButton"
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        running: root.running
                        text: App.TimerViewModel.buttonLabel
                        enabled: App.TimerViewModel.buttonEnabled
                        onClicked: App.TimerViewModel.toggle()
                    }
                }

                RowLayout {
                    Layout.fillWidth: true
                    visible: root.signedIn
                    spacing: 6
                    Ui.FlexIcon {
                        name: "new-folder"
                        size: 14
                        color: Ui.Palette.ink2
                    }
                    Text {
                        objectName: "projectLine"
                        Layout.fillWidth: true
                        text: App.TimerViewModel.projectLine
                        color: Ui.Palette.ink2
                        font.pixelSize: 12
                        elide: Text.ElideRight
                        maximumLineCount: 1
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
                Text {
                    objectName: "todayLine"
                    visible: root.signedIn
                    text: App.TimerViewModel.todayShort + " today"
                    color: Ui.Palette.muted
                    font.pixelSize: 12
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Text {
                    objectName: "signedOutLine"
                    visible: !root.signedIn
                    text: "Sign in to start tracking."
                    color: Ui.Palette.muted
                    font.pixelSize: 12
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Ui.Palette.line
        }

        RowLayout {
            Layout.fillWidth: true
            LinkButton {
                objectName: "openButton"
                text: "Open Zimbrel"
                onClicked: root.openRequested()
            }
            Item { Layout.fillWidth: true }
            LinkButton {
                objectName: "quitButton"
                text: "Quit"
                onClicked: root.quitRequested()
            }
        }
    }
}
