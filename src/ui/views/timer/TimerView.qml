import QtQuick
import QtQuick.Layouts
import Zimbrel.App as App

// The Timer screen (laid out in full later; for now its header).
Item {
    id: root

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24

        App.ScreenHeader {
            Layout.fillWidth: true
            eyebrow: "Timer"
            title: "Timer"
        }

        Item {
            Layout.fillHeight: true
        }
    }
}
