import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The popup that holds the tray panel: frameless, above other windows, out
// of the task bar. It closes on Escape and as soon as it loses focus.
Window {
    id: window

    signal openRequested()
    signal quitRequested()

    // Set once the panel had focus: a panel that never got it stays until
    // Escape or a click elsewhere gives it and takes it away again.
    property bool hadFocus: false

    width: 300
    height: Math.ceil(view.implicitHeight)
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    title: "Zimbrel"
    color: Ui.Palette.canvas

    onActiveChanged: {
        if (active)
            hadFocus = true
        else if (hadFocus)
            close()
    }

    App.MenuBarView {
        id: view
        objectName: "menuBarView"
        anchors.fill: parent
        focus: true
        onOpenRequested: {
            window.openRequested()
            window.close()
        }
        onQuitRequested: window.quitRequested()
        Keys.onEscapePressed: window.close()
    }
}
