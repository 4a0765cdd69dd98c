#include "AppModel.h"

#include "FrontmostApp.h"
#include "IdleTime.h"
#include "Keychain.h"
#include "LoginItem.h"
#include "Notifier.h"
#include "Permissions.h"
#include "Preferences.h"
#include "SessionBus.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <QCoroTimer>

#include <chrono>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {
constexpr int pulseLength = 46;
} // namespace

AppModel::Platform AppModel::Platform::system()
{
    Platform p;
    p.clock = [] { return Instant::now(); };
    p.inputAllowed = [] { return Permissions::preflightInput(); };
    p.screenAllowed = [] { return Permissions::preflightScreen(); };
    p.loginItemEnabled = [] { return LoginItem::enabled(); };
    p.setLoginItem = [](bool on) { return LoginItem::set(on); };
    p.idleSeconds = [] { return IdleTime::seconds(); };
    p.frontmostApp = [] { return FrontmostApp::name(); };
    p.capture = [] { return ScreenGrabber::capture(); };
    p.notify = [](const QString &title, const QString &body) { Notifier::send(title, body); };
    return p;
}

AppModel::Launch AppModel::Launch::fromPreferences()
{
    Launch l;
    l.demo = Preferences::value(u"demo"_s, false).toBool();
    l.screen = Preferences::value(u"screen"_s).toString();
    l.selftest = Preferences::value(u"selftest"_s, 0).toDouble();
    return l;
}

AppModel::AppModel(Platform platform, Launch launch, QObject *parent)
    : QObject(parent), m_platform(std::move(platform))
{
    // 1. Published state.
    m_snapshot = TrackingStore::load();
    m_now = m_platform.clock();
    m_inputAllowed = m_platform.inputAllowed();
    m_inputWasAllowed = m_inputAllowed;
    m_screenAllowed = m_platform.screenAllowed();
    m_pulse = QList<double>(pulseLength, 0.0);

    // 2. Preferences, without their side effects.
    m_pulseMark = 0;
    const double goal = Preferences::value(u"pref.dayGoalHours"_s, 0.0).toDouble();
    m_dayGoalHours = goal >= 1.0 && std::isfinite(goal) ? goal : 8.0;
    m_notifyGoal = Preferences::value(u"pref.notifyGoal"_s, false).toBool();
    m_notifyIdle = Preferences::value(u"pref.notifyIdle"_s, false).toBool();
    m_launchAtLogin = m_platform.loginItemEnabled();

    // 3. Private state.
    m_lastSample = m_lastShot = m_usageStart = m_now;

    // 4. The one-second ticker; it dies with the model.
    if (m_platform.runTicker) {
        m_ticker.setInterval(1000);
        m_ticker.setTimerType(Qt::PreciseTimer);
        connect(&m_ticker, &QTimer::timeout, this, [this] { tick(m_platform.clock()); });
        m_ticker.start();
    }

    // 5. Notices need no delegate here; kept for symmetry with the preference setters.
    Notifier::installDelegate();

    // 6. Changes made by zimbrel-control (and our own saves) come back as a signal.
    ChangeSignal::observe(this, SLOT(sharedTimerChanged()));

    // 7. Restore the session.
    if (const auto token = Keychain::read(u"token"_s)) {
        m_token = *token;
        m_signedIn = true;
        m_userName = Preferences::value(u"user.name"_s).toString();
        m_userEmail = Preferences::value(u"user.email"_s).toString();
        m_userRole = Preferences::value(u"user.role"_s).toString();
        // Runs after start-up has returned, like a task on the main actor.
        QMetaObject::invokeMethod(this, [this] { startRefresh(); }, Qt::QueuedConnection);
    }

    // 8.-10. Launch settings.
    if (launch.demo)
        enterDemo();
    if (launch.screen == u"timer")
        m_screen = Screen::timer;
    else if (launch.screen == u"today")
        m_screen = Screen::today;
    else if (launch.screen == u"settings")
        m_screen = Screen::settings;
    if (launch.selftest > 0 && std::isfinite(launch.selftest)) {
        const double seconds = launch.selftest;
        QMetaObject::invokeMethod(this, [this, seconds] { selfTest(seconds); }, Qt::QueuedConnection);
    }
}

AppModel::~AppModel() = default;

// ---- Ticker and change signal ----

void AppModel::tick(Instant firing)
{
    const QDate previousDay = m_now.localDate();
    m_now = firing;
    ++m_ticks;
    Q_EMIT nowChanged();

    // After midnight the server's figures describe yesterday: fetch today's,
    // and keep asking while that fails.
    const QDate today = firing.localDate();
    if (m_token && !m_isDemo && m_statsDate && *m_statsDate != today && !m_statsReloading
        && (today != previousDay || m_ticks % 20 == 0))
        reloadStats(*m_token);

    if (m_ticks % 60 == 0)
        heartbeat();
    if (m_ticks % 20 == 0 && needsSync())
        syncNow();
    if (m_ticks % 5 == 0) {
        setInputAllowed(m_platform.inputAllowed());
        setScreenAllowed(m_platform.screenAllowed());
    }
    pulseTick();
    if (m_ticks % 15 == 0)
        nudgeTick();
    captureTick();
}

void AppModel::sharedTimerChanged()
{
    reloadAndSync();
}

QCoro::Task<void> AppModel::reloadAndSync()
{
    // Our own saves come back too; only a change made elsewhere needs a pass.
    const TrackingSnapshot stored = TrackingStore::load();
    if (stored == m_snapshot)
        co_return;
    setSnapshot(stored);
    co_await syncNow();
}

// ---- Self-test ----

QCoro::Task<void> AppModel::selfTest(double seconds)
{
    QPointer<AppModel> self(this);
    co_await QCoro::sleepFor(m_platform.selfTestDelay);
    if (!self)
        co_return;
    if (m_signedIn && !m_isDemo && !m_snapshot.isRunning && canStart()) {
        qCInfo(lcTracking, "selftest: starting");
        setRunning(true);
        // A timer waits at most 2^31 - 1 ms (24.8 days).
        co_await QCoro::sleepFor(std::chrono::milliseconds(qint64(std::min(seconds * 1000, 2147483647.0))));
        if (!self)
            co_return;
        qCInfo(lcTracking, "selftest: stopping");
        setRunning(false);
    } else {
        qCInfo(lcTracking, "selftest skipped: signedIn=%d running=%d canStart=%d projects=%ld", int(m_signedIn),
               int(m_snapshot.isRunning), int(canStart()), long(m_projects.size()));
    }
}

// ---- Preference-backed properties ----

void AppModel::setDayGoalHours(double hours)
{
    if (!std::isfinite(hours) || hours == m_dayGoalHours)
        return;
    m_dayGoalHours = hours;
    Preferences::setValue(u"pref.dayGoalHours"_s, hours);
    Q_EMIT dayGoalHoursChanged();
}

void AppModel::setNotifyGoal(bool on)
{
    if (on == m_notifyGoal)
        return;
    m_notifyGoal = on;
    Preferences::setValue(u"pref.notifyGoal"_s, on);
    if (on)
        Notifier::requestAuthorization();
    Q_EMIT notifyGoalChanged();
}

void AppModel::setNotifyIdle(bool on)
{
    if (on == m_notifyIdle)
        return;
    m_notifyIdle = on;
    Preferences::setValue(u"pref.notifyIdle"_s, on);
    if (on)
        Notifier::requestAuthorization();
    Q_EMIT notifyIdleChanged();
}

void AppModel::setLaunchAtLogin(bool on)
{
    m_launchError = m_platform.setLoginItem(on);
    m_launchAtLogin = m_platform.loginItemEnabled();
    Q_EMIT launchAtLoginChanged();
}

// ---- Plain setters ----

void AppModel::setSignedIn(bool v)
{
    if (v == m_signedIn)
        return;
    m_signedIn = v;
    Q_EMIT signedInChanged();
}

void AppModel::setIsDemo(bool v)
{
    if (v == m_isDemo)
        return;
    m_isDemo = v;
    Q_EMIT isDemoChanged();
    Q_EMIT syncTextChanged();
}

void AppModel::setUser(const QString &name, const QString &email, const QString &role)
{
    if (name == m_userName && email == m_userEmail && role == m_userRole)
        return;
    m_userName = name;
    m_userEmail = email;
    m_userRole = role;
    Q_EMIT userChanged();
}

void AppModel::setProjects(QList<Project> projects)
{
    if (projects == m_projects)
        return;
    m_projects = std::move(projects);
    Q_EMIT projectsChanged();
    Q_EMIT choiceChanged();
}

void AppModel::setStats(TodayStats stats)
{
    m_stats = std::move(stats);
    Q_EMIT statsChanged();
    Q_EMIT nowChanged(); // the day and week totals include the server's figures
}

void AppModel::setLoading(bool v)
{
    if (v == m_loading)
        return;
    m_loading = v;
    Q_EMIT loadingChanged();
}

void AppModel::setLoadError(std::optional<QString> error)
{
    if (error == m_loadError)
        return;
    m_loadError = std::move(error);
    Q_EMIT loadErrorChanged();
}

void AppModel::setSnapshot(TrackingSnapshot snapshot)
{
    if (snapshot == m_snapshot)
        return;
    m_snapshot = std::move(snapshot);
    Q_EMIT snapshotChanged();
    Q_EMIT syncTextChanged();
    Q_EMIT nowChanged();
}

void AppModel::setSync(SyncState state)
{
    if (state == m_sync)
        return;
    m_sync = std::move(state);
    Q_EMIT syncChanged();
    Q_EMIT syncTextChanged();
}

void AppModel::setInputAllowed(bool v)
{
    if (v == m_inputAllowed)
        return;
    m_inputAllowed = v;
    Q_EMIT inputAllowedChanged();
}

void AppModel::setScreenAllowed(bool v)
{
    if (v == m_screenAllowed)
        return;
    m_screenAllowed = v;
    Q_EMIT screenAllowedChanged();
}

void AppModel::setLastActivity(std::optional<double> v)
{
    m_lastActivity = v;
    Q_EMIT lastActivityChanged();
}

void AppModel::setCaptures(int v)
{
    if (v == m_captures)
        return;
    m_captures = v;
    Q_EMIT capturesChanged();
    Q_EMIT syncTextChanged();
}

void AppModel::setPulse(QList<double> pulse)
{
    m_pulse = std::move(pulse);
    Q_EMIT pulseChanged();
}

void AppModel::setScreen(Screen screen)
{
    if (screen == m_screen)
        return;
    m_screen = screen;
    Q_EMIT screenChanged();
}

// ---- View adapters ----

QVariantList AppModel::projectsForView() const
{
    QVariantList list;
    for (const Project &p : m_projects) {
        QVariantList tasks;
        for (const WorkTask &t : p.tasks)
            tasks.append(QVariantMap{{u"id"_s, t.id}, {u"name"_s, t.name}});
        list.append(QVariantMap{{u"id"_s, p.id}, {u"name"_s, p.name}, {u"tasks"_s, tasks}});
    }
    return list;
}

void AppModel::setProjectIDText(const QString &id)
{
    chooseProject(id);
}

void AppModel::setTaskIDText(const QString &id)
{
    setTaskID(id.isEmpty() ? std::nullopt : std::optional<QString>(id));
    syncLabels(true);
}

QVariantMap AppModel::statsForView() const
{
    return {
        {u"tracked"_s, m_stats.tracked},
        {u"meeting"_s, m_stats.meeting},
        {u"productive"_s, m_stats.productive},
        {u"manual"_s, m_stats.manual},
        {u"productivePercent"_s, m_stats.productivePercent},
        {u"start"_s, m_stats.start},
        {u"end"_s, m_stats.end},
        {u"todaySeconds"_s, m_stats.todaySeconds},
        {u"weekSeconds"_s, m_stats.weekSeconds},
    };
}

QVariant AppModel::lastActivityForView() const
{
    return m_lastActivity ? QVariant(*m_lastActivity) : QVariant();
}

QVariantList AppModel::pulseForView() const
{
    QVariantList list;
    list.reserve(m_pulse.size());
    for (double v : m_pulse)
        list.append(v);
    return list;
}

QDateTime AppModel::lastShotAtDateTime() const
{
    return m_lastShotAt ? m_lastShotAt->toDateTime() : QDateTime();
}
