import Zimbrel.Ui
import QtQuick

// An icon of the interface's set, tinted with `color` and drawn size x size.
// A solid variant exists only for some names; others fall back to the line one.
Image {
    id: root

    property string name
    property bool solid: false
    property real size: 20
    property color color: Palette.ink
    readonly property string resourceName: IconSet.resourceName(name, solid)

    width: size
    height: size
    sourceSize: Qt.size(size, size)
    source: IconSet.source(name, solid, color, size)
    fillMode: Image.Stretch
    smooth: true
    Accessible.ignored: true
}
