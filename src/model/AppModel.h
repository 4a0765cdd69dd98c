#pragma once

#include "ActivityMonitor.h"
#include "Instant.h"
#include "Project.h"
#include "ScreenGrabber.h"
#include "SyncState.h"
#include "TodayStats.h"
#include "TrackingSnapshot.h"

#include <QCoroTask>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariantList>

#include <chrono>
#include <functional>
#include <optional>

// The one model of the app: session, timer, sync with the server and the
// background work of a running timer. Lives on the main thread; server work
// runs as coroutines that resume there, so nothing needs a lock. Every tick
// goes through tick(firingTime), which tests call with chosen instants.
class AppModel : public QObject {
    Q_OBJECT

    Q_PROPERTY(bool signedIn READ signedIn NOTIFY signedInChanged)
    Q_PROPERTY(bool isDemo READ isDemo NOTIFY isDemoChanged)
    Q_PROPERTY(QString userName READ userName NOTIFY userChanged)
    Q_PROPERTY(QString userEmail READ userEmail NOTIFY userChanged)
    Q_PROPERTY(QString userRole READ userRole NOTIFY userChanged)
    Q_PROPERTY(QVariantList projects READ projectsForView NOTIFY projectsChanged)
    Q_PROPERTY(QString projectID READ projectIDText WRITE setProjectIDText NOTIFY choiceChanged)
    Q_PROPERTY(QString taskID READ taskIDText WRITE setTaskIDText NOTIFY choiceChanged)
    Q_PROPERTY(QVariantMap stats READ statsForView NOTIFY statsChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(QString loadError READ loadErrorText NOTIFY loadErrorChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY snapshotChanged)
    Q_PROPERTY(bool isPrivate READ isPrivate NOTIFY snapshotChanged)
    Q_PROPERTY(QDateTime now READ nowDateTime NOTIFY nowChanged)
    Q_PROPERTY(Screen screen READ screen WRITE setScreen NOTIFY screenChanged)
    Q_PROPERTY(QString syncText READ syncText NOTIFY syncTextChanged)
    Q_PROPERTY(bool inputAllowed READ inputAllowed NOTIFY inputAllowedChanged)
    Q_PROPERTY(bool screenAllowed READ screenAllowed NOTIFY screenAllowedChanged)
    Q_PROPERTY(QVariant lastActivity READ lastActivityForView NOTIFY lastActivityChanged)
    Q_PROPERTY(int captures READ captures NOTIFY capturesChanged)
    Q_PROPERTY(QVariantList pulse READ pulseForView NOTIFY pulseChanged)
    Q_PROPERTY(QImage lastShotImage READ lastShotImage NOTIFY lastShotChanged)
    Q_PROPERTY(QDateTime lastShotAt READ lastShotAtDateTime NOTIFY lastShotChanged)
    Q_PROPERTY(double dayGoalHours READ dayGoalHours WRITE setDayGoalHours NOTIFY dayGoalHoursChanged)
    Q_PROPERTY(bool notifyGoal READ notifyGoal WRITE setNotifyGoal NOTIFY notifyGoalChanged)
    Q_PROPERTY(bool notifyIdle READ notifyIdle WRITE setNotifyIdle NOTIFY notifyIdleChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(QString launchError READ launchErrorText NOTIFY launchAtLoginChanged)
    // Derived figures; they move with `now`, the snapshot, the stats and the choice.
    Q_PROPERTY(bool canStart READ canStart NOTIFY choiceChanged)
    Q_PROPERTY(double sessionSeconds READ sessionSeconds NOTIFY nowChanged)
    Q_PROPERTY(double todaySeconds READ todaySeconds NOTIFY nowChanged)
    Q_PROPERTY(double weekSeconds READ weekSeconds NOTIFY nowChanged)
    Q_PROPERTY(QString greeting READ greeting NOTIFY nowChanged)

public:
    enum class Screen { timer, today, settings };
    Q_ENUM(Screen)

    // What the model asks of the desktop. The defaults are the real services;
    // tests replace what cannot happen here (ten idle minutes, a chosen clock).
    struct Platform {
        std::function<Instant()> clock;
        std::function<bool()> inputAllowed;
        std::function<bool()> screenAllowed;
        std::function<bool()> loginItemEnabled;
        std::function<std::optional<QString>(bool)> setLoginItem;
        std::function<double()> idleSeconds;
        std::function<QString()> frontmostApp;
        std::function<QCoro::Task<std::optional<ScreenShot>>()> capture;
        std::function<void(const QString &, const QString &)> notify;
        bool runTicker = true;
        std::chrono::milliseconds selfTestDelay{6000};

        static Platform system();
    };

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

    // ---- State ----
    bool signedIn() const { return m_signedIn; }
    bool isDemo() const { return m_isDemo; }
    QString userName() const { return m_userName; }
    QString userEmail() const { return m_userEmail; }
    QString userRole() const { return m_userRole; }
    const QList<Project> &projects() const { return m_projects; }
    std::optional<QString> projectID() const { return m_projectID; }
    std::optional<QString> taskID() const { return m_taskID; }
    void setProjectID(std::optional<QString> id);
    // The view assigns the task directly, then calls syncLabels(true).
    void setTaskID(std::optional<QString> id);
    const TodayStats &stats() const { return m_stats; }
    bool loading() const { return m_loading; }
    std::optional<QString> loadError() const { return m_loadError; }
    const TrackingSnapshot &snapshot() const { return m_snapshot; }
    bool isRunning() const { return m_snapshot.isRunning; }
    bool isPrivate() const { return m_snapshot.isPrivate; }
    Instant now() const { return m_now; }
    Screen screen() const { return m_screen; }
    void setScreen(Screen screen);
    SyncState sync() const { return m_sync; }
    bool inputAllowed() const { return m_inputAllowed; }
    bool screenAllowed() const { return m_screenAllowed; }
    std::optional<double> lastActivity() const { return m_lastActivity; }
    int captures() const { return m_captures; }
    const QList<double> &pulse() const { return m_pulse; }
    QImage lastShotImage() const { return m_lastShotImage; }
    std::optional<Instant> lastShotAt() const { return m_lastShotAt; }
    double dayGoalHours() const { return m_dayGoalHours; }
    void setDayGoalHours(double hours);
    bool notifyGoal() const { return m_notifyGoal; }
    void setNotifyGoal(bool on);
    bool notifyIdle() const { return m_notifyIdle; }
    void setNotifyIdle(bool on);
    bool launchAtLogin() const { return m_launchAtLogin; }
    std::optional<QString> launchError() const { return m_launchError; }
    // Switches the login item and reads the real status back.
    Q_INVOKABLE void setLaunchAtLogin(bool on);

    // Private state that tests and the background work read.
    std::optional<QString> token() const { return m_token; }
    bool syncing() const { return m_syncing; }
    bool capturing() const { return m_capturing; }
    int ticks() const { return m_ticks; }
    double shotMinutes() const { return m_shotMinutes; }
    std::optional<QString> usageApp() const { return m_usageApp; }
    Instant lastShot() const { return m_lastShot; }
    Instant lastSample() const { return m_lastSample; }
    ActivityMonitor &monitor() { return m_monitor; }

    // ---- Timer control ----
    const Project *project() const;
    const WorkTask *task() const;
    bool canStart() const;
    Q_INVOKABLE void chooseProject(const QString &projectID);
    void choose(const Project &project);
    void selectFirstIfNeeded();
    void syncLabels(bool save);
    Q_INVOKABLE void setRunning(bool running);
    Q_INVOKABLE void toggleRunning() { setRunning(!m_snapshot.isRunning); }
    // The private switch of the timer screen: written straight to the store.
    Q_INVOKABLE void setPrivate(bool on);
    void resetLocalTimer();
    double sessionSeconds() const;
    double todaySeconds() const;
    double weekSeconds() const;
    QString greeting() const;

    // ---- Sync engine ----
    bool needsSync() const;
    QCoro::Task<void> syncNow();
    QCoro::Task<void> refresh();
    Q_INVOKABLE void startRefresh();
    QString syncText() const;

    // ---- Session ----
    // Throws APIError with the sentence the login screen shows.
    QCoro::Task<void> signIn(QString email, QString password);
    Q_INVOKABLE void signOut();
    Q_INVOKABLE void enterDemo();

    // ---- Ticks ----
    void tick(Instant firing);
    QCoro::Task<void> heartbeat();
    void pulseTick();
    void nudgeTick();
    QCoro::Task<void> captureTick();
    QCoro::Task<void> sampleActivity(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                     Instant until);
    std::optional<double> nextShotIn() const;

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
    // Setters that notify observers only on a real change.
    void setSignedIn(bool v);
    void setIsDemo(bool v);
    void setUser(const QString &name, const QString &email, const QString &role);
    void setProjects(QList<Project> projects);
    void setStats(TodayStats stats);
    void setLoading(bool v);
    void setLoadError(std::optional<QString> error);
    void setSnapshot(TrackingSnapshot snapshot);
    void setSync(SyncState state);
    void setInputAllowed(bool v);
    void setScreenAllowed(bool v);
    void setLastActivity(std::optional<double> v);
    void setCaptures(int v);
    void setPulse(QList<double> pulse);

    // The device identifier, or nothing when the lookup fails. Lookups run one
    // at a time, so concurrent first calls register the device only once.
    QCoro::Task<std::optional<qint64>> knownDevice(QString token);
    // The push pass for the session of `token`, on the local timer as it was
    // at `epoch`; a reset since then (another member) ends it.
    QCoro::Task<void> pushChanges(QString token, int epoch);
    QCoro::Task<void> adoptServerTimer(QString token);
    QCoro::Task<void> reloadStats(QString token);
    QCoro::Task<void> signOutPush(QString token, int epoch);
    QCoro::Task<void> stopFlush(QString token, std::optional<qint64> entry, Instant stopAt);
    QCoro::Task<void> reloadAndSync();
    // Posts one activity sample of counts already drained from the monitor.
    QCoro::Task<void> sendSample(QString token, std::optional<qint64> device, std::optional<qint64> entry,
                                 InputCounts counts, double elapsed, Instant until);
    void closeUsageWindow();
    // The server's day and week figures, or 0 once the day or week they describe has passed.
    double serverToday() const;
    double serverWeek() const;

    // View adapters.
    QVariantList projectsForView() const;
    QString projectIDText() const { return m_projectID.value_or(QString()); }
    void setProjectIDText(const QString &id);
    QString taskIDText() const { return m_taskID.value_or(QString()); }
    void setTaskIDText(const QString &id);
    QVariantMap statsForView() const;
    QString loadErrorText() const { return m_loadError.value_or(QString()); }
    QDateTime nowDateTime() const { return m_now.toDateTime(); }
    QVariant lastActivityForView() const;
    QVariantList pulseForView() const;
    QDateTime lastShotAtDateTime() const;
    QString launchErrorText() const { return m_launchError.value_or(QString()); }

    Platform m_platform;

    // Published state.
    bool m_signedIn = false;
    bool m_isDemo = false;
    QString m_userName;
    QString m_userEmail;
    QString m_userRole;
    QList<Project> m_projects;
    std::optional<QString> m_projectID;
    std::optional<QString> m_taskID;
    TodayStats m_stats;
    bool m_loading = false;
    std::optional<QString> m_loadError;
    TrackingSnapshot m_snapshot;
    Instant m_now;
    Screen m_screen = Screen::timer;
    SyncState m_sync;
    bool m_inputAllowed = false;
    bool m_screenAllowed = false;
    std::optional<double> m_lastActivity;
    int m_captures = 0;
    QList<double> m_pulse;
    QImage m_lastShotImage;
    std::optional<Instant> m_lastShotAt;
    qint64 m_pulseMark = 0;
    double m_dayGoalHours = 8.0;
    bool m_notifyGoal = false;
    bool m_notifyIdle = false;
    bool m_launchAtLogin = false;
    std::optional<QString> m_launchError;

    // Private state.
    bool m_idleNotified = false;
    ActivityMonitor m_monitor;
    Instant m_lastSample;
    Instant m_lastShot;
    std::optional<QString> m_usageApp;
    Instant m_usageStart;
    double m_shotMinutes = 3.0;
    bool m_capturing = false;
    std::optional<QString> m_token;
    QTimer m_ticker;
    bool m_syncing = false;
    int m_ticks = 0;
    bool m_inputWasAllowed = false;
    bool m_deviceLookup = false;
    int m_localEpoch = 0;                // grows with every reset of the local timer
    std::optional<QDate> m_statsDate;    // the local day the server's figures describe
    bool m_statsReloading = false;
};
