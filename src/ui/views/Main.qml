import QtQuick
import QtQuick.Window
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// The main window (the shell lays it out in full): the login view until the
// member is signed in, then the screens.
Window {
    id: window

    width: 940
    height: 640
    minimumWidth: 340
    minimumHeight: 520
    visible: true
    title: "Zimbrel"
    color: Ui.Palette.shell

    Loader {
        anchors.fill: parent
        sourceComponent: App.Model.signedIn ? screens : login
    }

    Component {
        id: login
        App.LoginView {}
    }

    Component {
        id: screens
        App.TimerView {}
    }
}
