import QtQuick
import Zimbrel.App as App
import Zimbrel.Ui as Ui

// What the window shows while nobody is signed in: at 720 and wider the
// brand pane beside the form pane, narrower the form pane alone. The form
// hands the fields to the model as typed and shows the sentence a failed
// sign-in gives; the shell swaps this screen out once the model signs in.
Item {
    id: root
    objectName: "loginView"

    readonly property bool wide: width >= 720
    readonly property alias busy: login.busy
    readonly property alias error: login.error
    readonly property alias email: emailField.text
    readonly property alias password: passwordField.text

    // A sign-in started with these fields.
    signal submitted()
    // The sign-in that was started here succeeded.
    signal signedIn()

    function submit() {
        if (login.signIn(emailField.text, passwordField.text))
            root.submitted()
    }

    App.LoginViewModel {
        id: login
        onFinished: ok => {
            if (ok)
                root.signedIn()
        }
    }

    Rectangle {
        anchors.fill: parent
        color: Ui.Palette.shell
    }

    App.LoginBrandPane {
        objectName: "brandPane"
        visible: root.wide
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.right: formPanel.left
    }

    // The form pane: a canvas panel inset 8 from the window's edge.
    Ui.SmoothRect {
        id: formPanel
        objectName: "formPane"
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.right: parent.right
        anchors.margins: 8
        width: root.wide ? Math.min(400, Math.round(root.width * 0.45)) : root.width - 16
        radius: 26
        color: Ui.Palette.canvas

        Flickable {
            id: scroller
            anchors.fill: parent
            clip: true
            contentWidth: width
            contentHeight: Math.max(height, form.implicitHeight + 2 * form.margin)
            boundsBehavior: Flickable.StopAtBounds
            interactive: contentHeight > height

            Column {
                id: form
                readonly property real margin: 34
                x: margin
                y: Math.max(margin, (scroller.height - implicitHeight) / 2)
                width: scroller.width - 2 * margin
                spacing: 0

                Ui.ZimbrelMark {
                    size: 44
                    tone: Ui.ZimbrelTone.Auto
                }

                Item { width: 1; height: 22 }

                Text {
                    width: parent.width
                    text: "Welcome back"
                    color: Ui.Palette.ink
                    font.pixelSize: 30
                    font.weight: Font.Medium
                    elide: Text.ElideRight
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }

                Item { width: 1; height: 6 }

                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    width: parent.width
                    text: "Sign in with your Zimbrel account."
                    color: Ui.Palette.ink2
                    font.pixelSize: 13
                    wrapMode: Text.Wrap
                }

                Item { width: 1; height: 22 }

                Rectangle {
                    id: banner
                    objectName: "errorBanner"
                    visible: login.error.length > 0
                    width: parent.width
                    height: visible ? bannerText.height + 22 : 0
                    radius: 12
                    color: Ui.Palette.roseSoft
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: login.error

                    Ui.FlexIcon {
                        id: bannerIcon
                        x: 12
                        y: 11
                        name: "warning-diamond"
                        solid: true
                        size: 16
                        color: Ui.Palette.rose
                    }

                    Text {
                        id: bannerText
                        objectName: "errorText"
                        anchors.left: bannerIcon.right
                        anchors.leftMargin: 9
                        anchors.right: parent.right
                        anchors.rightMargin: 12
                        y: 11
                        // Lines as tall as the icon, so a one-line message sits level with it.
                        lineHeightMode: Text.FixedHeight
                        lineHeight: 16
                        text: login.error
                        color: Ui.Palette.rose
                        font.pixelSize: 13
                        font.weight: Font.Medium
                        wrapMode: Text.WrapAtWordBoundaryOrAnywhere
                        maximumLineCount: 4
                        elide: Text.ElideRight
                        textFormat: Text.PlainText
                        Accessible.ignored: true
                    }
                }

                Item { width: 1; height: banner.visible ? 16 : 0 }

                App.LoginField {
                    id: emailField
                    objectName: "emailField"
                    width: parent.width
                    label: "Work email"
                    iconName: "mail-send-envelope"
                    placeholder: "you@company.com"
                    onAccepted: passwordField.input.forceActiveFocus()
                }

                Item { width: 1; height: 14 }

                App.LoginField {
                    id: passwordField
                    objectName: "passwordField"
                    width: parent.width
                    label: "Password"
                    iconName: "padlock-square-1"
                    placeholder: "Enter your password"
                    secret: true
                    onAccepted: root.submit()
                }

                Item { width: 1; height: 22 }

                Ui.PillButtonStyle {
                    id: signInButton
                    objectName: "signInButton"
                    width: parent.width
                    height: 44
                    kind: Ui.PillButtonStyle.Brand
                    text: login.busy ? "Signing in\u2026" : "Sign in"
                    // busy is read here so the binding follows it.
                    enabled: !login.busy && login.canSubmit(emailField.text, passwordField.text)
                    onClicked: root.submit()
                    Accessible.onPressAction: root.submit()

                    // The label, led by the spinner while busy. (No ids inside:
                    // contentItem is a deferred property.)
                    contentItem: Item {
                        implicitWidth: children[0].implicitWidth
                        implicitHeight: children[0].implicitHeight
                        Row {
                            anchors.centerIn: parent
                            spacing: 8
                            Ui.Spinner {
                                objectName: "signInSpinner"
                                label: "Signing in"
                                anchors.verticalCenter: parent.verticalCenter
                                visible: login.busy
                                color: signInButton.foreground
                            }
                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: signInButton.text
                                font: signInButton.font
                                color: signInButton.foreground
                            }
                        }
                    }
                }

                Item { width: 1; height: 14 }

                Text {
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    objectName: "resetHint"
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    text: "Forgot your password? Reset it at " + login.website + "."
                    color: Ui.Palette.muted
                    font.pixelSize: 12
                }

                Item { width: 1; height: 18 }

                Ui.PillButtonStyle {
                    objectName: "demoButton"
                    width: parent.width
                    height: 38
                    kind: Ui.PillButtonStyle.Quiet
                    iconName: "magic-wand-2"
                    text: "Explore the demo"
                    enabled: !login.busy
                    onClicked: App.Model.enterDemo()
                    Accessible.onPressAction: App.Model.enterDemo()
                }
            }
        }
    }

    Component.onCompleted: emailField.input.forceActiveFocus()
}
