import Zimbrel.Ui
import QtQuick

// Every piece of the visual language on one page, in the current appearance:
// for developers to look at, and for tests to render and sample.
Rectangle {
    id: root

    readonly property var colourNames: ["shell", "shellMuted", "canvas", "card", "line", "track", "ink", "ink2",
        "muted", "brand", "brandDeep", "brandSoft", "lime", "limeInk", "amber", "amberSoft", "violet",
        "violetSoft", "sky", "skySoft", "rose", "roseSoft"]
    readonly property var iconNames: ["stopwatch", "graph-bar-increase-square", "cog", "blank-calendar",
        "camera-video", "check-square", "dashboard-3", "keyboard", "left-click", "magic-wand-2",
        "mail-send-envelope", "new-folder", "pencil-square", "user-circle-single", "warning-diamond",
        "invisible-1", "padlock-square-1", "checkmark", "chevron-up-chevron-down", "iris-scan",
        "wave-signal-circle"]
    readonly property var avatarNames: ["Ada Lovelace", "Grace Hopper", "Zimbrel", "Linus", "Margaret Hamilton",
        "Alan Turing", "Katherine Johnson", "Dennis", "Radia Perlman", "Ken"]
    readonly property var kindNames: ["Brand", "Lime", "Quiet", "Danger"]

    width: 1280
    height: 880
    color: Palette.canvas

    // Whole-pixel heights keep every item on the pixel grid, so sampled edges are crisp.
    component Label: Text {
        height: Math.ceil(implicitHeight)
    }

    component Caption: Label {
        font.pixelSize: 10
        font.weight: Font.Bold
        font.letterSpacing: 1.6
        color: Palette.brand
    }

    Column {
        x: 28
        y: 22
        width: root.width - 56
        spacing: 16

        Row {
            spacing: 14
            ZimbrelLockup { size: 30; tone: ZimbrelTone.Auto }
            Label {
                anchors.verticalCenter: parent.verticalCenter
                text: "Visual language · " + (Appearance.dark ? "dark" : "light")
                font.pixelSize: 20
                font.weight: Font.Medium
                color: Palette.ink2
            }
        }

        Caption { text: "COLOURS" }
        Flow {
            width: parent.width
            spacing: 10
            Repeater {
                model: root.colourNames
                Column {
                    required property string modelData
                    spacing: 3
                    Rectangle {
                        objectName: "swatch." + modelData
                        width: 48
                        height: 34
                        radius: 8
                        color: Palette[modelData]
                        border.width: 1
                        border.color: Palette.line
                    }
                    Label {
                        text: modelData
                        font.pixelSize: 9
                        color: Palette.ink2
                    }
                }
            }
        }

        Row {
            spacing: 28

            Column {
                spacing: 10
                Caption { text: "CARD" }
                CardStyle {
                    objectName: "galleryCard"
                    width: 300
                    height: 164
                    radius: 18
                    padding: 16
                    Column {
                        spacing: 6
                        Label {
                            text: "This session"
                            font.pixelSize: 13
                            font.weight: Font.DemiBold
                            color: Palette.ink2
                        }
                        ClockText {
                            objectName: "clockA"
                            text: "02:05:09"
                            font.pixelSize: 34
                            font.weight: Font.Medium
                        }
                        ClockText {
                            objectName: "clockB"
                            text: "11:11:11"
                            font.pixelSize: 34
                            font.weight: Font.Medium
                            color: Palette.muted
                        }
                        Label {
                            text: "Digits keep their places as the clock runs."
                            font.pixelSize: 11
                            color: Palette.muted
                        }
                    }
                }
            }

            Column {
                spacing: 10
                Caption { text: "PILLS · ENABLED, PRESSED, DISABLED" }
                Grid {
                    columns: 3
                    columnSpacing: 12
                    rowSpacing: 10
                    Repeater {
                        model: 12
                        PillButtonStyle {
                            required property int index
                            readonly property int state3: index % 3
                            objectName: "pill." + root.kindNames[Math.floor(index / 3)] + "."
                                        + ["enabled", "pressed", "disabled"][state3]
                            kind: Math.floor(index / 3)
                            text: root.kindNames[Math.floor(index / 3)] + ["", " pressed", " disabled"][state3]
                            iconName: kind === PillButtonStyle.Danger ? "warning-diamond" : kind === PillButtonStyle.Lime ? "stopwatch" : ""
                            down: state3 === 1
                            enabled: state3 !== 2
                        }
                    }
                }
            }

            Column {
                spacing: 10
                Caption { text: "AVATARS" }
                Grid {
                    columns: 5
                    spacing: 10
                    Repeater {
                        model: root.avatarNames
                        Column {
                            required property string modelData
                            spacing: 3
                            AvatarView {
                                objectName: "avatar." + modelData
                                name: modelData
                                size: 44
                                width: 44
                                height: 44
                            }
                            Label {
                                width: 52
                                text: modelData.split(" ")[0]
                                font.pixelSize: 9
                                color: Palette.ink2
                                elide: Text.ElideRight
                            }
                        }
                    }
                }
            }
        }

        Caption { text: "ICONS · LINE AND SOLID" }
        Flow {
            width: parent.width
            spacing: 8
            Repeater {
                model: root.iconNames
                Column {
                    required property string modelData
                    width: 112
                    spacing: 4
                    Row {
                        anchors.horizontalCenter: parent.horizontalCenter
                        spacing: 10
                        FlexIcon { objectName: "icon.line." + modelData; name: modelData; size: 24 }
                        FlexIcon { objectName: "icon.solid." + modelData; name: modelData; solid: true; size: 24; color: Palette.brand }
                    }
                    Label {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: modelData
                        font.pixelSize: 9
                        color: Palette.ink2
                        elide: Text.ElideMiddle
                    }
                }
            }
        }

        Caption { text: "MARK AND LOCKUP · ON DARK, ON LIGHT" }
        Row {
            spacing: 16
            Repeater {
                model: [ZimbrelTone.OnDark, ZimbrelTone.OnLight]
                Rectangle {
                    required property int modelData
                    width: 600
                    height: 92
                    radius: 16
                    color: modelData === ZimbrelTone.OnDark ? Palette.shell : Palette.card
                    border.width: 1
                    border.color: Palette.line
                    Row {
                        anchors.centerIn: parent
                        spacing: 22
                        ZimbrelMark { size: 48; tone: modelData; live: false; anchors.verticalCenter: parent.verticalCenter }
                        ZimbrelMark { size: 48; tone: modelData; live: true; anchors.verticalCenter: parent.verticalCenter }
                        ZimbrelMark { size: 20; tone: modelData; anchors.verticalCenter: parent.verticalCenter }
                        ZimbrelLockup { size: 36; tone: modelData; anchors.verticalCenter: parent.verticalCenter }
                    }
                }
            }
        }
    }
}
