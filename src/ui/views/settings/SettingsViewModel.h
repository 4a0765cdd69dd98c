#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>

#include <QCoroTask>

#include <functional>

class AppModel;
class FocusExtension;

// The texts and small rules of the Settings screen, computed here so tests
// reach them: the account line, the launch-at-login detail, the goal
// stepper, the about line, and what the permission buttons do. It reads and
// writes the model only.
class SettingsViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT

    // The e-mail and the capitalised role, empty ones left out, joined by " · ".
    Q_PROPERTY(QString accountLine READ accountLine NOTIFY accountChanged)
    // The launch-at-login row's detail: the failure while there is one.
    Q_PROPERTY(QString launchDetail READ launchDetail NOTIFY launchChanged)
    Q_PROPERTY(bool launchFailed READ launchFailed NOTIFY launchChanged)
    // The "Tray icon" row's detail: where today's time shows in this tray.
    Q_PROPERTY(QString trayDetail READ trayDetail NOTIFY trayChanged)
    // The daily goal as whole hours, "8h", and whether the stepper can move.
    Q_PROPERTY(QString goalLabel READ goalLabel NOTIFY goalChanged)
    Q_PROPERTY(bool canIncreaseGoal READ canIncreaseGoal NOTIFY goalChanged)
    Q_PROPERTY(bool canDecreaseGoal READ canDecreaseGoal NOTIFY goalChanged)
    // "Zimbrel for Linux 0.1.0 preview".
    Q_PROPERTY(QString aboutLine READ aboutLine CONSTANT)
    Q_PROPERTY(QString website READ website CONSTANT)
    Q_PROPERTY(QString iconCredit READ iconCredit CONSTANT)
    // The GNOME Shell extension's row: shown on GNOME's Wayland session only.
    Q_PROPERTY(bool focusExtensionShown READ focusExtensionShown CONSTANT)
    Q_PROPERTY(bool focusExtensionActive READ focusExtensionActive NOTIFY focusExtensionChanged)

public:
    static constexpr double minGoalHours = 1;
    static constexpr double maxGoalHours = 14;

    // How the permission buttons reach the desktop, by anchor: ask for the
    // permission (true when granted), and open its help page. When set,
    // allowScreen does the whole screen button instead (the desktop may ask
    // the member, which takes a while); the model's state is read again after.
    struct PermissionActions {
        std::function<bool(const QString &)> request;
        std::function<bool(const QString &)> open;
        std::function<QCoro::Task<bool>()> allowScreen;

        static PermissionActions system();
    };

    explicit SettingsViewModel(QObject *parent = nullptr);
    explicit SettingsViewModel(AppModel *model, PermissionActions permissions = PermissionActions::system(),
                               QObject *parent = nullptr);

    // The rules themselves, for any values.
    static QString capitalisedWords(const QString &text);
    static QString accountLine(const QString &email, const QString &role);
    static QString launchDetail(const QString &launchError);
    // A classic (XEmbed) tray shows an icon only: the time is in its tooltip.
    static QString trayDetail(bool iconOnly);
    static QString goalLabel(double hours);
    static QString aboutLine(const QString &version);
    // One step of the stepper from `hours` (direction +1 or -1), kept in 1...14.
    static double steppedGoal(double hours, int direction);

    QString accountLine() const;
    QString launchDetail() const;
    bool launchFailed() const;
    QString trayDetail() const;
    QString goalLabel() const;
    bool canIncreaseGoal() const;
    bool canDecreaseGoal() const;
    // The program's version (the compiled-in project version).
    static QString version();
    QString aboutLine() const { return aboutLine(version()); }
    static QString website();
    static QString iconCredit();

    Q_INVOKABLE void stepGoal(int direction);
    // The "Allow…" buttons: asks for the permission named by its anchor
    // ("Privacy_ListenEvent", "Privacy_ScreenCapture"); when it is not
    // granted, opens the help page at that anchor. False for another anchor.
    Q_INVOKABLE bool allow(const QString &anchor);

    bool focusExtensionShown() const;
    bool focusExtensionActive() const;
    // The extension row's button: asks GNOME Shell to enable it; where the
    // shell refuses, opens the help page's steps.
    Q_INVOKABLE void enableFocusExtension();

Q_SIGNALS:
    void accountChanged();
    void launchChanged();
    void goalChanged();
    void focusExtensionChanged();
    void trayChanged();

private:
    QCoro::Task<void> askForScreen();

    QPointer<AppModel> m_model;
    PermissionActions m_permissions;
    FocusExtension *m_focusExtension = nullptr;
};
