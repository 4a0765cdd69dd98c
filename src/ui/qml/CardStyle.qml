import Zimbrel.Ui
import QtQuick

// The card container: content padded on a rounded `card` surface with a 1 px
// `line` border and a soft shadow below. The shadow is a pre-blurred image
// stretched in nine slices, which every scene graph backend can draw.
Item {
    id: root

    property real radius: 18
    property real padding: 16
    default property alias content: inner.data

    readonly property int shadowBlur: 14
    readonly property int shadowSlice: Math.ceil(radius + 2 * shadowBlur)

    implicitWidth: inner.childrenRect.width + 2 * padding
    implicitHeight: inner.childrenRect.height + 2 * padding

    BorderImage {
        objectName: "cardShadow"
        x: -root.shadowBlur
        y: -root.shadowBlur + 8
        width: root.width + 2 * root.shadowBlur
        height: root.height + 2 * root.shadowBlur
        source: "image://shadow/" + root.radius + "/" + root.shadowBlur
        border.left: root.shadowSlice
        border.right: root.shadowSlice
        border.top: root.shadowSlice
        border.bottom: root.shadowSlice
        opacity: 0.05
        smooth: true
    }

    Rectangle {
        objectName: "cardSurface"
        anchors.fill: parent
        radius: root.radius
        color: Palette.card
    }

    Item {
        id: inner
        anchors.fill: parent
        anchors.margins: root.padding
    }

    Rectangle {
        objectName: "cardBorder"
        anchors.fill: parent
        radius: root.radius
        color: "transparent"
        border.width: 1
        border.color: Palette.line
    }
}
