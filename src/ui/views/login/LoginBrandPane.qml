import QtQuick
import Zimbrel.Ui as Ui

// The left pane of the wide login screen, on the dark window background: the
// lockup at the top, then the eyebrow, the headline, the sentence and a
// static sample of the running-timer card.
Item {
    id: root

    readonly property real margin: 34

    Ui.ZimbrelLockup {
        objectName: "brandLockup"
        x: root.margin
        y: root.margin
        size: 30
        tone: Ui.ZimbrelTone.OnDark
    }

    Column {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: root.margin
        spacing: 14

        Text {
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            text: "HOURS, CLEARLY"
            color: Ui.Palette.lime
            font.pixelSize: 11
            font.weight: Font.Bold
            font.letterSpacing: 1.6
        }

        Text {
            objectName: "brandHeadline"
            width: parent.width
            wrapMode: Text.Wrap
            textFormat: Text.StyledText
            text: "<font color=\"#ffffff\">See the work,<br></font><font color=\"" + Ui.Palette.lime
                  + "\">not just the hours.</font>"
            font.pixelSize: 40
            font.weight: Font.Medium
            lineHeight: 1.05
            Accessible.role: Accessible.Heading
            Accessible.name: "See the work,\nnot just the hours."
        }

        Text {
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            width: Math.min(parent.width, 430)
            wrapMode: Text.Wrap
            text: "One click from the tray icon or zimbrel-control starts your timer."
            color: Qt.rgba(1, 1, 1, 0.65)
            font.pixelSize: 13
            lineHeight: 1.2
        }

        Item {
            width: 1
            height: 10
        }

        // The sample card: decoration only.
        Item {
            objectName: "brandSample"
            width: Math.min(parent.width, 340)
            height: 76
            Accessible.ignored: true

            BorderImage {
                x: -18
                y: -18 + 12
                width: parent.width + 36
                height: parent.height + 36
                source: "image://shadow/18/18"
                border.left: 54
                border.right: 54
                border.top: 54
                border.bottom: 54
                opacity: 0.35
            }

            Rectangle {
                anchors.fill: parent
                radius: 18
                color: Qt.lighter(Ui.Palette.shell, 1.45)
                border.width: 1
                border.color: Qt.rgba(1, 1, 1, 0.10)
            }

            Rectangle {
                id: badge
                x: 16
                anchors.verticalCenter: parent.verticalCenter
                width: 30
                height: 30
                radius: 9
                color: Ui.Palette.lime
                Ui.FlexIcon {
                    anchors.centerIn: parent
                    name: "stopwatch"
                    solid: true
                    size: 17
                    color: Ui.Palette.limeInk
                }
            }

            Column {
                anchors.left: badge.right
                anchors.leftMargin: 12
                anchors.right: clock.left
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                spacing: 3
                Text {
                    width: parent.width
                    text: "Client Portal Rebuild"
                    color: "#ffffff"
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    elide: Text.ElideRight
                }
                Text {
                    width: parent.width
                    text: "Design system"
                    color: Qt.rgba(1, 1, 1, 0.55)
                    font.pixelSize: 12
                    elide: Text.ElideRight
                }
            }

            Ui.ClockText {
                id: clock
                anchors.right: parent.right
                anchors.rightMargin: 16
                anchors.verticalCenter: parent.verticalCenter
                text: "02:35:14"
                // A sample on the brand card, not a time of the member's.
                Accessible.ignored: true
                color: "#ffffff"
                font.pixelSize: 20
                font.weight: Font.Medium
            }
        }
    }
}
