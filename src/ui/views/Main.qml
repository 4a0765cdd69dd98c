import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The main window: the login view until the member is signed in, then the
// screens. The window manager's title bar and borders stay; the program
// shows the window (it starts hidden) and sizes it from the launch settings.
Window {
    id: window

    width: 940
    height: 640
    minimumWidth: 340
    minimumHeight: 520
    visible: false
    title: "Zimbrel"
    color: Ui.Palette.shell
    // Tooltips (the Basic style's) in the app's card colours.
    palette.toolTipBase: Ui.Palette.card
    palette.toolTipText: Ui.Palette.ink

    Loader {
        objectName: "content"
        anchors.fill: parent
        // By file, so that the view not shown is not even compiled at start.
        source: App.Model.signedIn ? "RootView.qml" : "LoginView.qml"
    }
}
