import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The Settings screen: who is signed in, what is recorded and whether the
// desktop allows it, the ways to start and stop without the window, the
// preferences, and the about block. It keeps no state: everything is read
// from and written to the model.
Item {
    id: root
    objectName: "settingsView"

    App.SettingsViewModel {
        id: settings
    }

    Flickable {
        id: scroller
        anchors.fill: parent
        clip: true
        contentWidth: width
        contentHeight: column.implicitHeight + 28 + 18
        boundsBehavior: Flickable.StopAtBounds

        Column {
            id: column
            x: 22
            y: 28
            width: Math.max(0, Math.min(scroller.width - 44, 720))
            spacing: 16

            App.ScreenHeader {
                width: parent.width
                eyebrow: "Settings"
                title: "Account & "
                muted: "shortcuts"
            }

            // Who is signed in.
            App.SettingsCard {
                objectName: "accountCard"
                width: parent.width

                Item {
                    width: parent.width
                    height: Math.max(avatar.height, signOut.height)

                    Ui.AvatarView {
                        id: avatar
                        anchors.verticalCenter: parent.verticalCenter
                        name: App.Model.userName
                        size: 52
                        width: 52
                        height: 52
                    }

                    Column {
                        anchors.left: avatar.right
                        anchors.leftMargin: 14
                        anchors.right: signOut.left
                        anchors.rightMargin: 12
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 3

                        Text {
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                            objectName: "accountName"
                            width: parent.width
                            text: App.Model.userName
                            color: Ui.Palette.ink
                            font.pixelSize: 18
                            font.weight: Font.Medium
                            elide: Text.ElideRight
                        }

                        Text {
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                            objectName: "accountLine"
                            width: parent.width
                            visible: text.length > 0
                            text: settings.accountLine
                            color: Ui.Palette.ink2
                            font.pixelSize: 13
                            // Narrow, the role goes to a second line rather than out of sight.
                            wrapMode: Text.Wrap
                            maximumLineCount: 2
                            elide: Text.ElideRight
                        }
                    }

                    Ui.PillButtonStyle {
                        id: signOut
                        objectName: "signOutButton"
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        height: 36
                        kind: Ui.PillButtonStyle.Danger
                        text: "Sign out"
                        onClicked: App.Model.signOut()
                        Accessible.onPressAction: App.Model.signOut()
                    }
                }
            }

            // What is recorded, and whether the desktop allows it.
            App.SettingsCard {
                objectName: "privacyCard"
                width: parent.width
                title: "What Zimbrel records while the timer runs"

                App.PermissionRow {
                    objectName: "inputPermission"
                    iconName: "keyboard"
                    title: "Keyboard and mouse activity"
                    detail: "Counts keystrokes and clicks each minute. It never reads what you type."
                    allowed: App.Model.inputAllowed
                    onAllow: settings.allow("Privacy_ListenEvent")
                }

                App.SettingsDivider {}

                App.PermissionRow {
                    objectName: "screenPermission"
                    iconName: "iris-scan"
                    title: "Screenshots"
                    detail: "A capture of your main display on your workspace's schedule. Paused in private mode."
                    allowed: App.Model.screenAllowed
                    onAllow: settings.allow("Privacy_ScreenCapture")
                }

                App.SettingsDivider { visible: settings.focusExtensionShown }

                App.PermissionRow {
                    objectName: "focusExtensionPermission"
                    visible: settings.focusExtensionShown
                    iconName: "dashboard-3"
                    title: "Application in front"
                    detail: "A GNOME Shell extension tells Zimbrel the name of the application you work in, never a window title."
                    allowed: settings.focusExtensionActive
                    actionText: "Enable"
                    allowedText: "Active"
                    onAllow: settings.enableFocusExtension()
                }
            }

            // Starting and stopping without the window.
            App.SettingsCard {
                objectName: "shortcutsCard"
                width: parent.width
                title: "Start and stop without opening the app"

                App.SettingsRow {
                    iconName: "stopwatch"
                    title: "Tray icon"
                    objectName: "trayRow"
                    detail: settings.trayDetail
                }

                App.SettingsDivider {}

                App.SettingsRow {
                    iconName: "dashboard-3"
                    title: "Command line"
                    detail: "Run zimbrel-control toggle from a terminal, a keyboard shortcut or your status bar. It toggles the same timer."
                }

                App.SettingsDivider {}

                App.SettingsRow {
                    iconName: "keyboard"
                    title: "Keyboard"
                    detail: "Press Ctrl+Enter on the Timer screen to start or stop."
                }
            }

            App.SettingsCard {
                objectName: "preferencesCard"
                width: parent.width
                title: "Preferences"

                App.SettingsRow {
                    objectName: "goalRow"
                    iconName: "graph-bar-increase-square"
                    title: "Daily goal"
                    detail: "The dial on the Timer screen fills toward this. The weekly goal is five days of it."

                    App.GoalStepper {
                        objectName: "goalStepper"
                        label: settings.goalLabel
                        value: Math.round(App.Model.dayGoalHours)
                        canDecrease: settings.canDecreaseGoal
                        canIncrease: settings.canIncreaseGoal
                        onStep: direction => settings.stepGoal(direction)
                    }
                }

                App.SettingsDivider {}

                App.SettingsRow {
                    iconName: "check-square"
                    title: "Tell me when I reach my daily goal"
                    detail: "One notification the moment today's total passes the goal."

                    App.SettingsSwitch {
                        objectName: "notifyGoalSwitch"
                        accessibleName: "Tell me when I reach my daily goal"
                        checked: App.Model.notifyGoal
                        onSwitched: on => App.Model.notifyGoal = on
                    }
                }

                App.SettingsDivider {}

                App.SettingsRow {
                    iconName: "warning-diamond"
                    title: "Nudge me if I'm away while tracking"
                    detail: "A reminder after 10 minutes with no keyboard or mouse movement. Nothing is stopped or removed."

                    App.SettingsSwitch {
                        objectName: "notifyIdleSwitch"
                        accessibleName: "Nudge me if I'm away while tracking"
                        checked: App.Model.notifyIdle
                        onSwitched: on => App.Model.notifyIdle = on
                    }
                }

                App.SettingsDivider {}

                App.AwayPreference {}

                App.SettingsDivider {}

                App.SettingsRow {
                    objectName: "launchRow"
                    iconName: "magic-wand-2"
                    title: "Open Zimbrel when I log in"
                    detail: settings.launchDetail
                    detailColor: settings.launchFailed ? Ui.Palette.rose : Ui.Palette.muted

                    App.SettingsSwitch {
                        objectName: "launchSwitch"
                        accessibleName: "Open Zimbrel when I log in"
                        checked: App.Model.launchAtLogin
                        onSwitched: on => App.Model.setLaunchAtLogin(on)
                    }
                }
            }

            Item { width: 1; height: 6 }

            // About.
            Column {
                objectName: "about"
                width: parent.width
                spacing: 6

                Ui.ZimbrelLockup {
                    size: 22
                    tone: Ui.ZimbrelTone.Auto
                }

                Item { width: 1; height: 2 }

                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    objectName: "aboutLine"
                    width: parent.width
                    text: settings.aboutLine
                    color: Ui.Palette.ink2
                    font.pixelSize: 12
                    wrapMode: Text.Wrap
                }

                Text {
                    objectName: "aboutWebsite"
                    text: "<a href=\"https://" + settings.website + "\">" + settings.website + "</a>"
                    textFormat: Text.StyledText
                    linkColor: Ui.Palette.brand
                    font.pixelSize: 12
                    onLinkActivated: link => Qt.openUrlExternally(link)
                    Accessible.role: Accessible.Link
                    Accessible.name: settings.website

                    HoverHandler {
                        cursorShape: Qt.PointingHandCursor
                    }
                }

                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    text: settings.iconCredit
                    color: Ui.Palette.muted
                    font.pixelSize: 11
                }
            }
        }
    }
}
