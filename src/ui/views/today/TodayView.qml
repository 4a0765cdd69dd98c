import QtQuick
import QtQuick.Templates as T
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The Today screen: the productivity ring with the first and last activity
// beside (or above) four tiles, and the week card.
Item {
    id: root

    readonly property var vm: App.TodayViewModel
    readonly property bool narrow: width < 520
    readonly property real margin: narrow ? 14 : 24
    readonly property real ringCardWidth: 250
    // Ring card and tiles side by side when the tiles keep two columns of 150.
    readonly property bool sideBySide: content.width >= ringCardWidth + 16 + 2 * 150 + 12

    Flickable {
        id: flick
        objectName: "todayScroll"
        anchors.fill: parent
        contentWidth: width
        contentHeight: content.implicitHeight + 2 * root.margin
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        T.ScrollBar.vertical: Ui.ThinScrollBar { policy: flick.contentHeight > flick.height ? T.ScrollBar.AsNeeded : T.ScrollBar.AlwaysOff }

        ColumnLayout {
            id: content
            x: root.margin
            y: root.margin
            width: flick.width - 2 * root.margin
            spacing: 16

            App.ScreenHeader {
                Layout.fillWidth: true
                eyebrow: "Today"
                title: "Your day, "
                muted: "so far"

                Ui.PillButtonStyle {
                    objectName: "refresh"
                    kind: Ui.PillButtonStyle.Quiet
                    implicitHeight: 34
                    text: "Refresh"
                    enabled: root.vm.canRefresh
                    Accessible.onPressAction: if (enabled) root.vm.refresh()
                    onClicked: root.vm.refresh()
                }
            }

            GridLayout {
                objectName: "todayMain"
                Layout.fillWidth: true
                columns: root.sideBySide ? 2 : 1
                columnSpacing: 16
                rowSpacing: 16

                Ui.CardStyle {
                    objectName: "ringCard"
                    Layout.fillWidth: !root.sideBySide
                    Layout.preferredWidth: root.sideBySide ? root.ringCardWidth : -1
                    Layout.fillHeight: root.sideBySide
                    padding: 18
                    implicitHeight: ringBody.implicitHeight + 2 * padding

                    ColumnLayout {
                        id: ringBody
                        width: parent.width
                        spacing: 14

                        Item {
                            objectName: "ring"
                            Layout.alignment: Qt.AlignHCenter
                            implicitWidth: 150
                            implicitHeight: 150
                            Accessible.role: Accessible.ProgressBar
                            Accessible.name: root.vm.percentText + " productive"

                            App.ProductivityRing {
                                anchors.fill: parent
                                lineWidth: 14
                                color: Ui.Palette.brand
                                trackColor: Ui.Palette.track
                                fraction: ring.value
                                Ui.Glide {
                                    id: ring
                                    target: root.vm.ringFraction
                                }
                            }
                            Column {
                                anchors.centerIn: parent
                                spacing: 2
                                Text {
                                    objectName: "percent"
                                    anchors.horizontalCenter: parent.horizontalCenter
                                    text: root.vm.percentText
                                    color: Ui.Palette.ink
                                    font.pixelSize: 30
                                    font.weight: Font.DemiBold
                                    Accessible.ignored: true
                                }
                                Text {
                                    anchors.horizontalCenter: parent.horizontalCenter
                                    text: "PRODUCTIVE"
                                    color: Ui.Palette.muted
                                    font.pixelSize: 10
                                    font.bold: true
                                    font.letterSpacing: 1.4
                                    Accessible.ignored: true
                                }
                            }
                        }

                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: 2
                            Text {
                                Accessible.role: Accessible.StaticText
                                Accessible.name: text
                                Layout.fillWidth: true
                                horizontalAlignment: Text.AlignHCenter
                                text: "First and last activity"
                                color: Ui.Palette.muted
                                font.pixelSize: 11
                                elide: Text.ElideRight
                            }
                            Text {
                                Accessible.role: Accessible.StaticText
                                Accessible.name: text
                                objectName: "activitySpan"
                                Layout.fillWidth: true
                                horizontalAlignment: Text.AlignHCenter
                                text: root.vm.activitySpan
                                color: Ui.Palette.ink
                                font.pixelSize: 15
                                font.weight: Font.DemiBold
                                elide: Text.ElideRight
                            }
                        }
                    }
                }

                GridLayout {
                    objectName: "todayTiles"
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop
                    columns: width >= 2 * 150 + columnSpacing ? 2 : 1
                    columnSpacing: 12
                    rowSpacing: 12

                    App.StatTile {
                        objectName: "trackedTile"
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        icon: "stopwatch"
                        tint: Ui.Palette.brand
                        soft: Ui.Palette.brandSoft
                        value: root.vm.trackedValue
                        label: "Tracked today"
                    }
                    App.StatTile {
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        icon: "graph-bar-increase-square"
                        tint: Ui.Palette.sky
                        soft: Ui.Palette.skySoft
                        value: root.vm.productiveValue
                        label: "Productive"
                    }
                    App.StatTile {
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        icon: "camera-video"
                        tint: Ui.Palette.violet
                        soft: Ui.Palette.violetSoft
                        value: root.vm.meetingValue
                        label: "Meetings"
                    }
                    App.StatTile {
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        icon: "pencil-square"
                        tint: Ui.Palette.amber
                        soft: Ui.Palette.amberSoft
                        value: root.vm.manualValue
                        label: "Manual time"
                    }
                }
            }

            Ui.CardStyle {
                objectName: "weekCard"
                Layout.fillWidth: true
                padding: 16
                implicitHeight: weekRow.implicitHeight + 2 * padding

                RowLayout {
                    id: weekRow
                    width: parent.width
                    spacing: 12

                    Rectangle {
                        implicitWidth: 36
                        implicitHeight: 36
                        radius: 10
                        color: Ui.Palette.skySoft
                        Ui.FlexIcon {
                            anchors.centerIn: parent
                            name: "blank-calendar"
                            solid: true
                            size: 18
                            color: Ui.Palette.sky
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
                            text: "This week"
                            color: Ui.Palette.muted
                            font.pixelSize: 11
                            elide: Text.ElideRight
                        }
                        Text {
                            Accessible.role: Accessible.StaticText
                            Accessible.name: text
                            objectName: "weekValue"
                            Layout.fillWidth: true
                            text: root.vm.weekValue
                            color: Ui.Palette.ink
                            font.pixelSize: 19
                            font.weight: Font.DemiBold
                            elide: Text.ElideRight
                        }
                    }
                    Text {
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                        text: "Mon – Sun"
                        color: Ui.Palette.muted
                        font.pixelSize: 12
                    }
                }
            }
        }
    }
}
