#pragma once

#include "ChangedProperties.h"
#include "ProjectListModel.h"

#include <QObject>
#include <QPointer>
#include <QQmlEngine>

class AppModel;

// The texts and rules of the Timer screen, some of which the tray panel shows
// too, in one place so the two never disagree. QML only lays them out.
class TimerViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // "TRACKING" or "NOT TRACKING" (the panel's card caption).
    Q_PROPERTY(QString statusCaption READ statusCaption NOTIFY statusCaptionChanged)
    // The current session as "HH:MM:SS".
    Q_PROPERTY(QString sessionClock READ sessionClock NOTIFY sessionClockChanged)
    // Today's total as "HH:MM:SS" (the tray label) and as "2h 5m".
    Q_PROPERTY(QString todayClock READ todayClock NOTIFY todayClockChanged)
    Q_PROPERTY(QString todayShort READ todayShort NOTIFY todayShortChanged)
    // "No project selected", or the project's name and " · " and the task's.
    Q_PROPERTY(QString projectLine READ projectLine NOTIFY projectLineChanged)
    // The start/stop button: its accessible label and whether it can be pressed.
    Q_PROPERTY(QString buttonLabel READ buttonLabel NOTIFY buttonLabelChanged)
    Q_PROPERTY(bool buttonEnabled READ buttonEnabled NOTIFY buttonEnabledChanged)

    // ---- The Timer screen ----
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    // Header: "Demo workspace" or "Timer"; "Good morning, " and the first name.
    Q_PROPERTY(QString eyebrow READ eyebrow NOTIFY eyebrowChanged)
    Q_PROPERTY(QString greetingTitle READ greetingTitle NOTIFY greetingTitleChanged)
    Q_PROPERTY(QString firstName READ firstName NOTIFY firstNameChanged)
    // Hero: "Not tracking", "Tracking" or "Tracking · private".
    Q_PROPERTY(QString statusLine READ statusLine NOTIFY statusLineChanged)
    // The dial's figures in seconds (goal and session never negative).
    Q_PROPERTY(double dialTotal READ dialTotal NOTIFY dialTotalChanged)
    Q_PROPERTY(double dialSession READ dialSession NOTIFY dialSessionChanged)
    Q_PROPERTY(double goalSeconds READ goalSeconds NOTIFY goalSecondsChanged)
    // "of 8h" under the dial's clock, and the dial's one accessible label.
    Q_PROPERTY(QString goalLine READ goalLine NOTIFY goalLineChanged)
    Q_PROPERTY(QString dialLabel READ dialLabel NOTIFY dialLabelChanged)
    Q_PROPERTY(QString projectTitle READ projectTitle NOTIFY projectTitleChanged)
    Q_PROPERTY(QString taskTitle READ taskTitle NOTIFY taskTitleChanged)
    // The button's tooltip, and the caption under it when it cannot start ("" otherwise).
    Q_PROPERTY(QString buttonHelp READ buttonHelp NOTIFY buttonHelpChanged)
    Q_PROPERTY(QString startCaption READ startCaption NOTIFY startCaptionChanged)
    // The two metrics: "This session" (lit while running) and "Left today".
    Q_PROPERTY(QString sessionMetric READ sessionMetric NOTIFY sessionMetricChanged)
    Q_PROPERTY(QString leftToday READ leftToday NOTIFY leftTodayChanged)

    // ---- Work picker ----
    Q_PROPERTY(ProjectListModel *projectItems READ projectItems CONSTANT)
    Q_PROPERTY(ProjectListModel *taskItems READ taskItems CONSTANT)
    Q_PROPERTY(QString projectValue READ projectValue NOTIFY projectValueChanged)
    Q_PROPERTY(bool projectPlaceholder READ projectPlaceholder NOTIFY projectPlaceholderChanged)
    Q_PROPERTY(QString taskValue READ taskValue NOTIFY taskValueChanged)
    Q_PROPERTY(bool taskPlaceholder READ taskPlaceholder NOTIFY taskPlaceholderChanged)
    // The task row takes a choice only with a chosen project that has tasks.
    Q_PROPERTY(bool taskChoosable READ taskChoosable NOTIFY taskChoosableChanged)
    Q_PROPERTY(bool isPrivate READ isPrivate NOTIFY isPrivateChanged)

    // ---- Live activity ----
    // "73% last minute" while running with a sample, else "".
    Q_PROPERTY(QString activityLine READ activityLine NOTIFY activityLineChanged)
    Q_PROPERTY(int keys READ keys NOTIFY keysChanged)
    Q_PROPERTY(int clicks READ clicks NOTIFY clicksChanged)
    Q_PROPERTY(bool inputAllowed READ inputAllowed NOTIFY inputAllowedChanged)

    // ---- Last capture ----
    Q_PROPERTY(bool hasShot READ hasShot NOTIFY hasShotChanged)
    // "image://lastshot/<n>", a new address for every new screenshot.
    Q_PROPERTY(QString shotSource READ shotSource NOTIFY shotSourceChanged)
    Q_PROPERTY(QString captureTitle READ captureTitle NOTIFY captureTitleChanged)
    Q_PROPERTY(QString captureDetail READ captureDetail NOTIFY captureDetailChanged)
    Q_PROPERTY(bool screenAllowed READ screenAllowed NOTIFY screenAllowedChanged)

    // ---- Tiles ----
    Q_PROPERTY(QString sessionTile READ sessionTile NOTIFY sessionTileChanged)
    Q_PROPERTY(QString weekValue READ weekValue NOTIFY weekValueChanged)
    Q_PROPERTY(QString weekLabel READ weekLabel NOTIFY weekLabelChanged)
    Q_PROPERTY(double weekProgress READ weekProgress NOTIFY weekProgressChanged)
    Q_PROPERTY(QString meetingValue READ meetingValue NOTIFY meetingValueChanged)

    // ---- Status line ----
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    // Drawn in rose: a failed refresh or a failed sync.
    Q_PROPERTY(bool statusAlert READ statusAlert NOTIFY statusAlertChanged)
    // "Try again" is offered after a failed refresh.
    Q_PROPERTY(bool canRetry READ canRetry NOTIFY canRetryChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)

public:
    explicit TimerViewModel(AppModel *model, QObject *parent = nullptr);
    // The QML singleton, reading the program's model.
    static TimerViewModel *create(QQmlEngine *engine, QJSEngine *);

    QString statusCaption() const;
    QString sessionClock() const;
    QString todayClock() const;
    QString todayShort() const;
    QString projectLine() const;
    QString buttonLabel() const;
    bool buttonEnabled() const;

    bool running() const;
    QString eyebrow() const;
    QString greetingTitle() const;
    QString firstName() const;
    QString statusLine() const;
    double dialTotal() const;
    double dialSession() const;
    double goalSeconds() const;
    int goalHours() const;
    QString goalLine() const;
    QString dialLabel() const;
    QString projectTitle() const;
    QString taskTitle() const;
    QString buttonHelp() const;
    QString startCaption() const;
    QString sessionMetric() const;
    QString leftToday() const;

    ProjectListModel *projectItems() const { return m_projectItems; }
    ProjectListModel *taskItems() const { return m_taskItems; }
    QString projectValue() const;
    bool projectPlaceholder() const;
    QString taskValue() const;
    bool taskPlaceholder() const;
    bool taskChoosable() const;
    bool isPrivate() const;

    QString activityLine() const;
    int keys() const;
    int clicks() const;
    bool inputAllowed() const;

    bool hasShot() const;
    QString shotSource() const;
    QString captureTitle() const;
    QString captureDetail() const;
    bool screenAllowed() const;

    QString sessionTile() const;
    QString weekValue() const;
    QString weekLabel() const;
    double weekProgress() const;
    QString meetingValue() const;

    QString statusText() const;
    bool statusAlert() const;
    bool canRetry() const;
    bool loading() const;

    // The help of a picker row while the timer runs ("Stop the timer to
    // switch project"), "" when stopped.
    Q_INVOKABLE QString pickerHelp(const QString &label) const;

    // What the button does: start when stopped, stop when running.
    Q_INVOKABLE void toggle();
    // The private switch, written through the store.
    Q_INVOKABLE void setPrivate(bool on);
    // Choices of the pickers by row; refused while the timer runs.
    Q_INVOKABLE void chooseProject(int row);
    Q_INVOKABLE void chooseTask(int row);
    // "Try again" after a failed refresh.
    Q_INVOKABLE void retry();
    // The permission buttons: the help page at the input or the screen section.
    Q_INVOKABLE void allowInput();
    Q_INVOKABLE void allowScreen();

Q_SIGNALS:
    // One of the sources every text follows from changed.
    void changed();
    // Each property's own signal, emitted after `changed` only when its value
    // differs from the last one read, so a binding runs again only when its
    // text does (most of them change far less than once a second).
    void statusCaptionChanged(); void sessionClockChanged(); void todayClockChanged();
    void todayShortChanged(); void projectLineChanged(); void buttonLabelChanged();
    void buttonEnabledChanged(); void runningChanged(); void eyebrowChanged();
    void greetingTitleChanged(); void firstNameChanged(); void statusLineChanged();
    void dialTotalChanged(); void dialSessionChanged(); void goalSecondsChanged();
    void goalLineChanged(); void dialLabelChanged(); void projectTitleChanged();
    void taskTitleChanged(); void buttonHelpChanged(); void startCaptionChanged();
    void sessionMetricChanged(); void leftTodayChanged(); void projectValueChanged();
    void projectPlaceholderChanged(); void taskValueChanged(); void taskPlaceholderChanged();
    void taskChoosableChanged(); void isPrivateChanged(); void activityLineChanged();
    void keysChanged(); void clicksChanged(); void inputAllowedChanged();
    void hasShotChanged(); void shotSourceChanged(); void captureTitleChanged();
    void captureDetailChanged(); void screenAllowedChanged(); void sessionTileChanged();
    void weekValueChanged(); void weekLabelChanged(); void weekProgressChanged();
    void meetingValueChanged(); void statusTextChanged(); void statusAlertChanged();
    void canRetryChanged(); void loadingChanged();

private:
    QPointer<AppModel> m_model;
    ProjectListModel *m_projectItems;
    ProjectListModel *m_taskItems;
    int m_shotGeneration = 0;
    ChangedProperties m_changes{this, [this](const QMetaMethod &s) { return isSignalConnected(s); }};
};
