import QtQuick
import QtQuick.Templates as T
import QtQuick.Layouts
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The Timer screen: the header, the hero with the dial and the one start/stop
// button beside (or, narrow, above) the picker column and three tiles, in a
// vertically scrolling area, with the sync line kept in sight below it.
// Ctrl+Enter starts and stops.
Item {
    id: root

    readonly property var vm: App.TimerViewModel
    // Below this width the hero stacks above the picker column.
    readonly property bool narrow: width < 520
    readonly property real margin: narrow ? 14 : 24
    // The picker column beside the hero: 300 wide, less in a middling window.
    readonly property real sideColumnWidth: Math.round(Math.min(width >= 1200 ? 360 : 300, Math.max(240, (width - 2 * margin) * 0.38)))
    // Room for the scroll bar beside the cards rather than over them.
    readonly property real rightMargin: flick.contentHeight > flick.height ? Math.max(margin, scrollBar.width + 8) : margin

    Shortcut {
        sequences: ["Ctrl+Return", "Ctrl+Enter"]
        enabled: root.visible
        onActivated: root.vm.toggle()
    }

    // The scrolling area and the sync line are placed by bindings rather
    // than anchors: anchors take effect only once the screen is complete, so
    // the cards would first be laid out at no width (and the title fitted to
    // a transient one).
    Flickable {
        id: flick
        objectName: "timerScroll"
        width: root.width
        height: syncLine.y - 10
        contentWidth: width
        contentHeight: content.implicitHeight + root.margin + 6
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        T.ScrollBar.vertical: Ui.ThinScrollBar {
            id: scrollBar
            policy: flick.contentHeight > flick.height ? T.ScrollBar.AsNeeded : T.ScrollBar.AlwaysOff
        }

        ColumnLayout {
            id: content
            x: root.margin
            y: root.margin
            width: flick.width - root.margin - root.rightMargin
            spacing: 16

            App.ScreenHeader {
                Layout.fillWidth: true
                eyebrow: root.vm.eyebrow
                title: root.vm.greetingTitle
                muted: root.vm.firstName

                Ui.Spinner {
                    objectName: "timerLoading"
                    running: root.vm.loading
                    visible: running
                    implicitWidth: 22
                    implicitHeight: 22
                    color: Ui.Palette.muted
                    label: "Loading"
                }
            }

            App.AwayBanner {
                Layout.fillWidth: true
            }

            GridLayout {
                id: mainGrid
                objectName: "timerMain"
                Layout.fillWidth: true
                columns: root.narrow ? 1 : 2
                columnSpacing: 16
                rowSpacing: 16

                App.Hero {
                    objectName: "hero"
                    stacked: root.narrow
                    // Beside the picker column, what it leaves (stacked, the
                    // hero is one column whatever its room).
                    room: content.width - root.sideColumnWidth - mainGrid.columnSpacing
                    // Whatever the column leaves, whatever its own content would like.
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    Layout.minimumWidth: 0
                    Layout.alignment: Qt.AlignTop
                    Layout.fillHeight: !root.narrow
                }

                ColumnLayout {
                    objectName: "pickerColumn"
                    Layout.fillWidth: root.narrow
                    Layout.preferredWidth: root.narrow ? -1 : root.sideColumnWidth
                    Layout.minimumWidth: root.narrow ? 0 : root.sideColumnWidth
                    Layout.maximumWidth: root.narrow ? Number.POSITIVE_INFINITY : root.sideColumnWidth
                    Layout.alignment: Qt.AlignTop
                    spacing: 16

                    App.WorkPicker { Layout.fillWidth: true }
                    App.LiveActivity { Layout.fillWidth: true }
                    App.LastCapture { Layout.fillWidth: true }
                }
            }

            GridLayout {
                objectName: "timerTiles"
                Layout.fillWidth: true
                columns: Math.max(1, Math.min(3, Math.floor((width + columnSpacing) / 200)))
                columnSpacing: 12
                rowSpacing: 12

                App.StatTile {
                    objectName: "sessionTile"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredWidth: 1
                    icon: "stopwatch"
                    tint: Ui.Palette.brand
                    soft: Ui.Palette.brandSoft
                    value: root.vm.sessionTile
                    clock: root.vm.running
                    label: "This session"
                }
                App.GoalTile {
                    objectName: "weekTile"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredWidth: 1
                    icon: "blank-calendar"
                    tint: Ui.Palette.sky
                    soft: Ui.Palette.skySoft
                    value: root.vm.weekValue
                    label: root.vm.weekLabel
                    progress: root.vm.weekProgress
                }
                App.StatTile {
                    objectName: "meetingTile"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    Layout.preferredWidth: 1
                    icon: "camera-video"
                    tint: Ui.Palette.violet
                    soft: Ui.Palette.violetSoft
                    value: root.vm.meetingValue
                    label: "Meetings today"
                }
            }
        }
    }

    // The exchange with the server, never below the fold.
    App.StatusLine {
        id: syncLine
        objectName: "syncLine"
        x: root.margin
        y: root.height - height - (root.narrow ? 10 : 14)
        width: root.width - 2 * root.margin
    }
}
