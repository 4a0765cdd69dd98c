#include "AppModel.h"

#include "Assign.h"
#include "DemoWorkspace.h"
#include "FireAndForget.h"
#include "Keychain.h"
#include "Notifier.h"
#include "Preferences.h"
#include "SessionBus.h"
#include "TrackingLog.h"

#include <QCoroTimer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <chrono>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

AppModel::Launch AppModel::Launch::fromPreferences()
{
    Launch l;
    l.demo = Preferences::value(u"demo"_s, false).toBool();
    l.screen = Preferences::value(u"screen"_s).toString();
    l.selftest = Preferences::value(u"selftest"_s, 0).toDouble();
    return l;
}

AppModel::AppModel(Platform platform, Launch launch, QObject *parent)
    : QObject(parent), m_platform(std::move(platform)), m_now(m_platform.clock())
{
    // 1.-3. The parts, with their state from the store, the preferences and the desktop.
    m_settings = std::make_unique<Settings>(m_platform);
    m_timer = std::make_unique<LocalTimer>();
    m_devices = std::make_unique<DeviceLookup>();
    m_session = std::make_unique<Session>(*m_timer);
    m_sync = std::make_unique<SyncEngine>(*m_session, *m_timer, *m_devices, m_now);
    m_activity = std::make_unique<ActivityRecorder>(m_platform, *m_settings, *m_session, *m_timer, *m_devices, m_now);
    m_away = std::make_unique<AwayTracker>(m_platform, *m_settings, *m_session, *m_timer);
    m_activity->setCaptureHold([away = m_away.get()] { return away->holdsCaptures(); });
    connectParts();

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

    // 7. Restore the session; its refresh runs after start-up has returned.
    // The demo shows its own member and never asks the keychain.
    if (!launch.demo && m_session->restore())
        QMetaObject::invokeMethod(this, [this] { startRefresh(); }, Qt::QueuedConnection);

    // 8.-10. Launch settings.
    if (launch.demo)
        enterDemo();
    if (launch.screen == u"timer")
        m_screen = Screen::Timer;
    else if (launch.screen == u"today")
        m_screen = Screen::Today;
    else if (launch.screen == u"settings")
        m_screen = Screen::Settings;
    if (launch.selftest > 0 && std::isfinite(launch.selftest)) {
        const double seconds = launch.selftest;
        QMetaObject::invokeMethod(
            this, [this, seconds] { fireAndForget(selfTest(seconds), "self-test"); }, Qt::QueuedConnection);
    }
}

AppModel::~AppModel() = default;

void AppModel::connectParts()
{
    connect(m_settings.get(), &Settings::dayGoalHoursChanged, this, &AppModel::dayGoalHoursChanged);
    connect(m_settings.get(), &Settings::notifyGoalChanged, this, &AppModel::notifyGoalChanged);
    connect(m_settings.get(), &Settings::notifyIdleChanged, this, &AppModel::notifyIdleChanged);
    connect(m_settings.get(), &Settings::launchAtLoginChanged, this, &AppModel::launchAtLoginChanged);

    connect(m_timer.get(), &LocalTimer::snapshotChanged, this, &AppModel::snapshotChanged);
    connect(m_timer.get(), &LocalTimer::snapshotChanged, this, &AppModel::syncTextChanged);
    connect(m_timer.get(), &LocalTimer::snapshotChanged, this, &AppModel::nowChanged);
    connect(m_timer.get(), &LocalTimer::projectsChanged, this, &AppModel::projectsChanged);
    connect(m_timer.get(), &LocalTimer::choiceChanged, this, &AppModel::choiceChanged);

    connect(m_session.get(), &Session::signedInChanged, this, &AppModel::signedInChanged);
    connect(m_session.get(), &Session::isDemoChanged, this, &AppModel::isDemoChanged);
    connect(m_session.get(), &Session::isDemoChanged, this, &AppModel::syncTextChanged);
    connect(m_session.get(), &Session::tokenChanged, this, &AppModel::syncTextChanged);
    connect(m_session.get(), &Session::userChanged, this, &AppModel::userChanged);
    connect(m_session.get(), &Session::tokenSaved, this, [this](bool inFile) {
        if (inFile && !std::exchange(m_toldFileStore, true))
            m_platform.notify(u"Sign-in kept in a private file"_s, fileStoreNotice());
    });

    connect(m_sync.get(), &SyncEngine::syncChanged, this, &AppModel::syncChanged);
    connect(m_sync.get(), &SyncEngine::syncChanged, this, &AppModel::syncTextChanged);
    connect(m_sync.get(), &SyncEngine::loadingChanged, this, &AppModel::loadingChanged);
    connect(m_sync.get(), &SyncEngine::loadErrorChanged, this, &AppModel::loadErrorChanged);
    connect(m_sync.get(), &SyncEngine::statsChanged, this, &AppModel::statsChanged);
    connect(m_sync.get(), &SyncEngine::statsChanged, this, &AppModel::nowChanged); // the totals include them
    connect(m_sync.get(), &SyncEngine::pushPassEnded, this, &AppModel::pushPassEnded);
    connect(m_sync.get(), &SyncEngine::sessionExpired, this, &AppModel::signOut);
    connect(m_sync.get(), &SyncEngine::screenshotInterval, m_activity.get(), &ActivityRecorder::setShotMinutes);

    connect(m_activity.get(), &ActivityRecorder::inputAllowedChanged, this, &AppModel::inputAllowedChanged);
    connect(m_activity.get(), &ActivityRecorder::screenAllowedChanged, this, &AppModel::screenAllowedChanged);
    connect(m_activity.get(), &ActivityRecorder::lastActivityChanged, this, &AppModel::lastActivityChanged);
    connect(m_activity.get(), &ActivityRecorder::capturesChanged, this, &AppModel::capturesChanged);
    connect(m_activity.get(), &ActivityRecorder::capturesChanged, this, &AppModel::syncTextChanged);
    connect(m_activity.get(), &ActivityRecorder::pulseChanged, this, &AppModel::pulseChanged);
    connect(m_activity.get(), &ActivityRecorder::lastShotChanged, this, &AppModel::lastShotChanged);

    connect(m_away.get(), &AwayTracker::timerSplit, this, [this] { fireAndForget(m_sync->syncNow(), "sync"); });
}

QString AppModel::fileStoreNotice()
{
    QString folder = QFileInfo(Keychain::fallbackPath(u"token"_s)).path();
    const QString home = QDir::homePath();
    if (folder.startsWith(home + u'/'))
        folder = u"~"_s + folder.mid(home.size());
    return u"Your keyring could not store your sign-in, so Zimbrel keeps it in %1, readable only by you."_s.arg(folder);
}

// ---- Ticker and change signal ----

void AppModel::tick(Instant firing)
{
    m_now = firing;
    ++m_ticks;
    m_activity->advance(firing, m_ticks);
    m_away->tick(firing);
    Q_EMIT nowChanged();

    m_sync->dayTick(firing, m_ticks);
    if (m_ticks % 60 == 0)
        fireAndForget(m_activity->heartbeat(), "heartbeat");
    if (m_ticks % 20 == 0 && m_sync->needsSync())
        fireAndForget(m_sync->syncNow(), "sync");
    if (m_ticks % 5 == 0)
        m_activity->checkPermissions();
    m_activity->pulseTick();
    if (m_ticks % 15 == 0)
        nudgeTick();
    fireAndForget(m_activity->captureTick(), "capture");
}

void AppModel::nudgeTick()
{
    const Project *p = project();
    m_activity->nudgeTick(todaySeconds(), p ? p->name : QString());
}

void AppModel::sharedTimerChanged()
{
    fireAndForget(reloadAndSync(), "reload");
}

QCoro::Task<void> AppModel::reloadAndSync()
{
    // Our own saves come back too; only a change made elsewhere needs a pass.
    if (m_timer->reload())
        co_await m_sync->syncNow();
}

// ---- Operations that span parts ----

void AppModel::setRunning(bool running)
{
    // The stop flush takes the entry and the usage window before the snapshot changes.
    if (!running)
        m_activity->flushStop(m_platform.clock());
    m_timer->setRunning(running, m_platform.clock, m_session->isDemo());
    fireAndForget(m_sync->syncNow(), "sync");
}

void AppModel::startRefresh()
{
    fireAndForget(m_sync->refresh(), "refresh");
}

QCoro::Task<void> AppModel::signIn(QString email, QString password)
{
    QPointer<AppModel> self(this);
    co_await m_session->signIn(email, password);
    if (!self)
        co_return;
    m_sync->startOver();
    co_await m_sync->refresh();
}

void AppModel::signOut()
{
    if (isRunning())
        setRunning(false);
    const int epoch = m_timer->epoch();
    if (const std::optional<QString> token = m_session->signOut())
        fireAndForget(m_sync->pushThenLogout(*token, epoch), "sign-out");
    m_timer->clearChoice();
    m_activity->forgetCaptures();
    m_sync->setStats(TodayStats{});
    Q_EMIT syncTextChanged();
}

void AppModel::enterDemo()
{
    // A member's running session ends at this moment; the session keeps it aside.
    if (isRunning())
        m_timer->setRunning(false, m_platform.clock, m_session->isDemo());
    m_session->enterDemo();
    m_activity->forgetCaptures();
    m_timer->setProjects(DemoWorkspace::projects());
    m_sync->setStats(DemoWorkspace::stats());
    m_timer->selectFirstIfNeeded();
}

// ---- Self-test ----

QCoro::Task<void> AppModel::selfTest(double seconds)
{
    QPointer<AppModel> self(this);
    co_await QCoro::sleepFor(m_platform.selfTestDelay);
    if (!self)
        co_return;
    if (signedIn() && !isDemo() && !isRunning() && canStart()) {
        qCInfo(lcTracking, "selftest: starting");
        setRunning(true);
        // A timer waits at most 2^31 - 1 ms (24.8 days).
        co_await QCoro::sleepFor(std::chrono::milliseconds(qint64(std::min(seconds * 1000, 2147483647.0))));
        if (!self)
            co_return;
        qCInfo(lcTracking, "selftest: stopping");
        setRunning(false);
    } else {
        qCInfo(lcTracking, "selftest skipped: signedIn=%d running=%d canStart=%d projects=%ld", int(signedIn()),
               int(isRunning()), int(canStart()), long(projects().size()));
    }
}

// ---- Figures ----

double AppModel::sessionSeconds() const
{
    return snapshot().runningSeconds(m_now);
}

double AppModel::todaySeconds() const
{
    if (isDemo())
        return stats().todaySeconds + snapshot().todaySeconds(m_now);
    return m_sync->serverToday(m_now) + sessionSeconds() + snapshot().pendingSeconds();
}

double AppModel::weekSeconds() const
{
    if (isDemo())
        return stats().weekSeconds + snapshot().weekSeconds(m_now);
    return m_sync->serverWeek(m_now) + sessionSeconds() + snapshot().pendingSeconds();
}

QString AppModel::greeting() const
{
    const int hour = m_now.toDateTime().time().hour();
    if (hour >= 18)
        return u"Good evening"_s;
    if (hour >= 12)
        return u"Good afternoon"_s;
    return u"Good morning"_s;
}

void AppModel::setScreen(Screen screen)
{
    if (assign(m_screen, screen))
        Q_EMIT screenChanged();
}

// ---- View adapters ----

QVariantList AppModel::pulseForView() const
{
    QVariantList list;
    list.reserve(pulse().size());
    for (double v : pulse())
        list.append(v);
    return list;
}
