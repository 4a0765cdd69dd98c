#pragma once

#include "ActivityRecorder.h"
#include "AwayTracker.h"
#include "DeviceLookup.h"
#include "Instant.h"
#include "LocalTimer.h"
#include "Platform.h"
#include "Project.h"
#include "Session.h"
#include "Settings.h"
#include "SyncEngine.h"
#include "SyncState.h"
#include "TodayStats.h"
#include "TrackingSnapshot.h"

#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <QVariantList>

#include <memory>
#include <optional>

// The one model of the app, composed of its parts: Settings (preferences),
// LocalTimer (the stored timer and the choice), Session (token, member,
// demo), SyncEngine (the exchange with the server) and ActivityRecorder (the
// background work of a running timer). It builds them, owns the one-second
// ticker and routes each tick; the views bind to the properties below. Lives
// on the main thread; server work runs as coroutines that resume there, so
// nothing needs a lock. Every tick goes through tick(firingTime), which tests
// call with chosen instants.
class AppModel : public QObject {
    Q_OBJECT

    Q_PROPERTY(bool signedIn READ signedIn NOTIFY signedInChanged)
    Q_PROPERTY(QString userName READ userName NOTIFY userChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY snapshotChanged)
    Q_PROPERTY(Screen screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(bool inputAllowed READ inputAllowed NOTIFY inputAllowedChanged)
    Q_PROPERTY(bool screenAllowed READ screenAllowed NOTIFY screenAllowedChanged)
    Q_PROPERTY(QVariantList pulse READ pulseForView NOTIFY pulseChanged)
    Q_PROPERTY(double dayGoalHours READ dayGoalHours WRITE setDayGoalHours NOTIFY dayGoalHoursChanged)
    Q_PROPERTY(bool notifyGoal READ notifyGoal WRITE setNotifyGoal NOTIFY notifyGoalChanged)
    Q_PROPERTY(bool notifyIdle READ notifyIdle WRITE setNotifyIdle NOTIFY notifyIdleChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(QObject *settings READ settingsPart CONSTANT)
    Q_PROPERTY(QObject *away READ awayPart CONSTANT)

public:
    enum class Screen { Timer, Today, Settings };
    Q_ENUM(Screen)

    using Platform = ::Platform;

    // Launch settings: from the command line, else the preferences file.
    struct Launch {
        bool demo = false;
        QString screen;
        double selftest = 0;

        static Launch fromPreferences();
    };

    explicit AppModel(Platform platform = Platform::system(), Launch launch = Launch::fromPreferences(),
                      QObject *parent = nullptr);
    ~AppModel() override;

    // ---- The parts ----
    Settings &settings() { return *m_settings; }
    LocalTimer &timer() { return *m_timer; }
    Session &session() { return *m_session; }
    SyncEngine &syncEngine() { return *m_sync; }
    ActivityRecorder &activity() { return *m_activity; }
    AwayTracker &away() { return *m_away; }

    // ---- State ----
    bool signedIn() const { return m_session->signedIn(); }
    bool isDemo() const { return m_session->isDemo(); }
    QString userName() const { return m_session->userName(); }
    QString userEmail() const { return m_session->userEmail(); }
    QString userRole() const { return m_session->userRole(); }
    const QList<Project> &projects() const { return m_timer->projects(); }
    std::optional<QString> projectID() const { return m_timer->projectID(); }
    std::optional<QString> taskID() const { return m_timer->taskID(); }
    void setProjectID(std::optional<QString> id) { m_timer->setProjectID(std::move(id)); }
    // The view assigns the task directly, then calls syncLabels(true).
    void setTaskID(std::optional<QString> id) { m_timer->setTaskID(std::move(id)); }
    const TodayStats &stats() const { return m_sync->stats(); }
    bool loading() const { return m_sync->loading(); }
    std::optional<QString> loadError() const { return m_sync->loadError(); }
    const TrackingSnapshot &snapshot() const { return m_timer->snapshot(); }
    bool isRunning() const { return m_timer->isRunning(); }
    bool isPrivate() const { return m_timer->snapshot().isPrivate; }
    Instant now() const { return m_now; }
    Screen screen() const { return m_screen; }
    void setScreen(Screen screen);
    SyncState sync() const { return m_sync->sync(); }
    bool inputAllowed() const { return m_activity->inputAllowed(); }
    bool screenAllowed() const { return m_activity->screenAllowed(); }
    std::optional<double> lastActivity() const { return m_activity->lastActivity(); }
    int captures() const { return m_activity->captures(); }
    const QList<double> &pulse() const { return m_activity->pulse(); }
    QImage lastShotImage() const { return m_activity->lastShotImage(); }
    bool hasLastShot() const { return m_activity->hasLastShot(); }
    std::optional<Instant> lastShotAt() const { return m_activity->lastShotAt(); }
    double dayGoalHours() const { return m_settings->dayGoalHours(); }
    void setDayGoalHours(double hours) { m_settings->setDayGoalHours(hours); }
    bool notifyGoal() const { return m_settings->notifyGoal(); }
    void setNotifyGoal(bool on) { m_settings->setNotifyGoal(on); }
    bool notifyIdle() const { return m_settings->notifyIdle(); }
    void setNotifyIdle(bool on) { m_settings->setNotifyIdle(on); }
    bool launchAtLogin() const { return m_settings->launchAtLogin(); }
    std::optional<QString> launchError() const { return m_settings->launchError(); }
    // Switches the login item and reads the real status back.
    Q_INVOKABLE void setLaunchAtLogin(bool on) { m_settings->setLaunchAtLogin(on); }

    // Private state that tests and the background work read.
    std::optional<QString> token() const { return m_session->token(); }
    bool syncing() const { return m_sync->syncing(); }
    bool capturing() const { return m_activity->capturing(); }
    int ticks() const { return m_ticks; }
    double shotMinutes() const { return m_activity->shotMinutes(); }
    std::optional<QString> usageApp() const { return m_activity->usageApp(); }
    Instant lastShot() const { return m_activity->lastShot(); }
    Instant lastSample() const { return m_activity->lastSample(); }
    ActivityMonitor &monitor() { return m_activity->monitor(); }

    // ---- Timer control ----
    const Project *project() const { return m_timer->project(); }
    const WorkTask *task() const { return m_timer->task(); }
    bool canStart() const { return m_timer->canStart(); }
    Q_INVOKABLE void chooseProject(const QString &projectID) { m_timer->chooseProject(projectID); }
    void choose(const Project &project) { m_timer->choose(project); }
    void selectFirstIfNeeded() { m_timer->selectFirstIfNeeded(); }
    void syncLabels(bool save) { m_timer->syncLabels(save); }
    Q_INVOKABLE void setRunning(bool running);
    Q_INVOKABLE void toggleRunning() { setRunning(!isRunning()); }
    // The private switch of the timer screen: written straight to the store.
    Q_INVOKABLE void setPrivate(bool on) { m_timer->setPrivate(on); }
    void resetLocalTimer() { m_timer->reset(); }
    double sessionSeconds() const;
    double todaySeconds() const;
    double weekSeconds() const;
    QString greeting() const;

    // ---- Sync engine ----
    bool needsSync() const { return m_sync->needsSync(); }
    QCoro::Task<void> syncNow() { return m_sync->syncNow(); }
    QCoro::Task<void> refresh() { return m_sync->refresh(); }
    Q_INVOKABLE void startRefresh();
    QString syncText() const { return m_sync->syncText(m_activity->captures()); }

    // ---- Session ----
    // Throws APIError with the sentence the login screen shows.
    QCoro::Task<void> signIn(QString email, QString password);
    Q_INVOKABLE void signOut();
    Q_INVOKABLE void enterDemo();

    // ---- Ticks ----
    void tick(Instant firing);
    QCoro::Task<void> heartbeat() { return m_activity->heartbeat(); }
    void pulseTick() { m_activity->pulseTick(); }
    // Reads the desktop's permissions now (the ticker does every few seconds).
    void checkPermissions() { m_activity->checkPermissions(); }
    void nudgeTick();
    QCoro::Task<void> captureTick() { return m_activity->captureTick(); }
    QCoro::Task<void> sampleActivity(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                     Instant until)
    {
        return m_activity->sampleActivity(std::move(token), device, entry, until);
    }
    std::optional<double> nextShotIn() const { return m_activity->nextShotIn(); }

    // What the member is told once when the keyring cannot keep the sign-in.
    static QString fileStoreNotice();

    // Starts and stops one real session after `seconds`, for end-to-end checks.
    QCoro::Task<void> selfTest(double seconds);

Q_SIGNALS:
    void signedInChanged();
    void isDemoChanged();
    void userChanged();
    void projectsChanged();
    void choiceChanged();
    void statsChanged();
    void loadingChanged();
    void loadErrorChanged();
    void snapshotChanged();
    void nowChanged();
    void screenChanged();
    void syncChanged();
    void syncTextChanged();
    void inputAllowedChanged();
    void screenAllowedChanged();
    void lastActivityChanged();
    void capturesChanged();
    void pulseChanged();
    void lastShotChanged();
    void dayGoalHoursChanged();
    void notifyGoalChanged();
    void notifyIdleChanged();
    void launchAtLoginChanged();
    // A push pass ended (successfully or not).
    void pushPassEnded();

private Q_SLOTS:
    void sharedTimerChanged();

private:
    // Forwards the parts' change signals as the model's own.
    void connectParts();
    QCoro::Task<void> reloadAndSync();

    // View adapters.
    QVariantList pulseForView() const;
    QObject *settingsPart() const { return m_settings.get(); }
    QObject *awayPart() const { return m_away.get(); }

    Platform m_platform;
    Instant m_now;
    Screen m_screen = Screen::Timer;
    int m_ticks = 0;
    bool m_toldFileStore = false;
    QTimer m_ticker;
    // In the order they depend on each other; destroyed the other way round.
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<LocalTimer> m_timer;
    std::unique_ptr<DeviceLookup> m_devices;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SyncEngine> m_sync;
    std::unique_ptr<ActivityRecorder> m_activity;
    std::unique_ptr<AwayTracker> m_away;
};
