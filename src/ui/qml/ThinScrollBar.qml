import QtQuick
import QtQuick.Templates as T
import Zimbrel.Ui as Ui

// A screen's scroll bar: a thin rounded handle that shows while the view
// scrolls or is pointed at and fades half a second after (at once when the
// desktop asks for reduced motion). Built on the templates alone, so no
// control style is loaded for it.
T.ScrollBar {
    id: control

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)
    padding: 2
    visible: policy !== T.ScrollBar.AlwaysOff
    minimumSize: orientation === Qt.Horizontal ? height / width : width / height

    contentItem: Rectangle {
        implicitWidth: control.interactive ? 6 : 2
        implicitHeight: control.interactive ? 6 : 2
        radius: width / 2
        color: control.pressed ? Ui.Palette.ink : Ui.Palette.muted
        opacity: 0

        states: State {
            name: "shown"
            when: control.policy === T.ScrollBar.AlwaysOn || (control.active && control.size < 1)
            PropertyChanges { control.contentItem.opacity: 0.5 }
        }
        transitions: Transition {
            from: "shown"
            SequentialAnimation {
                PauseAnimation { duration: Ui.Motion.reduced ? 0 : 450 }
                NumberAnimation { target: control.contentItem; property: "opacity"; duration: Ui.Motion.reduced ? 0 : 200; to: 0 }
            }
        }
    }
}
