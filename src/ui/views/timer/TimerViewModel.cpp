#include "TimerViewModel.h"

#include "AppModel.h"
#include "Durations.h"
#include "FireAndForget.h"
#include "Permissions.h"
#include "ProjectListModel.h"
#include "TrackingLog.h"
#include "ViewsSetup.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
// The screen "Allow…" button: asks (the desktop may ask the member), then
// shows the real state at once.
QCoro::Task<void> askForScreen(QPointer<AppModel> model)
{
    co_await Permissions::allowScreen();
    if (model)
        model->checkPermissions();
}

// A count or duration for display: NaN, infinities and negatives read as 0.
double nonNegative(double v)
{
    return std::isfinite(v) && v > 0 ? v : 0;
}
} // namespace

TimerViewModel::TimerViewModel(AppModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_projectItems(new ProjectListModel(model, ProjectListModel::Kind::Projects, this))
    , m_taskItems(new ProjectListModel(model, ProjectListModel::Kind::Tasks, this))
{
    connect(this, &TimerViewModel::changed, this, [this] { m_changes.check(); });
    if (!model)
        return;
    // Every text here follows from these.
    for (auto signal : {&AppModel::snapshotChanged, &AppModel::nowChanged, &AppModel::choiceChanged,
                        &AppModel::projectsChanged, &AppModel::statsChanged, &AppModel::signedInChanged,
                        &AppModel::isDemoChanged, &AppModel::userChanged, &AppModel::loadingChanged,
                        &AppModel::loadErrorChanged, &AppModel::syncChanged, &AppModel::syncTextChanged,
                        &AppModel::inputAllowedChanged, &AppModel::screenAllowedChanged,
                        &AppModel::lastActivityChanged, &AppModel::capturesChanged, &AppModel::dayGoalHoursChanged})
        connect(model, signal, this, &TimerViewModel::changed);
    connect(model, &AppModel::lastShotChanged, this, [this] {
        ++m_shotGeneration;
        Q_EMIT changed();
    });
}

TimerViewModel *TimerViewModel::create(QQmlEngine *engine, QJSEngine *)
{
    return new TimerViewModel(ViewsSetup::model(), engine);
}

QString TimerViewModel::statusCaption() const
{
    return running() ? u"TRACKING"_s : u"NOT TRACKING"_s;
}

QString TimerViewModel::sessionClock() const
{
    return Durations::clock(m_model ? m_model->sessionSeconds() : 0);
}

QString TimerViewModel::todayClock() const
{
    return Durations::clock(m_model ? m_model->todaySeconds() : 0);
}

QString TimerViewModel::todayShort() const
{
    return Durations::shortDuration(m_model ? m_model->todaySeconds() : 0);
}

QString TimerViewModel::projectLine() const
{
    const Project *project = m_model ? m_model->project() : nullptr;
    if (!project)
        return u"No project selected"_s;
    if (const WorkTask *task = m_model->task())
        return project->name + u" · "_s + task->name;
    return project->name;
}

QString TimerViewModel::buttonLabel() const
{
    return running() ? u"Stop tracking"_s : u"Start tracking"_s;
}

bool TimerViewModel::buttonEnabled() const
{
    if (!m_model || !m_model->signedIn())
        return false;
    return m_model->isRunning() || m_model->canStart();
}

bool TimerViewModel::running() const
{
    return m_model && m_model->isRunning();
}

QString TimerViewModel::eyebrow() const
{
    return m_model && m_model->isDemo() ? u"Demo workspace"_s : u"Timer"_s;
}

QString TimerViewModel::greetingTitle() const
{
    return (m_model ? m_model->greeting() : u"Hello"_s) + u", "_s;
}

QString TimerViewModel::firstName() const
{
    // Surrounding blanks of a name typed on the server are not part of it.
    const QString name = m_model ? m_model->userName().trimmed() : QString();
    const QString first = name.section(u' ', 0, 0);
    return first.isEmpty() ? u"there"_s : first;
}

QString TimerViewModel::statusLine() const
{
    if (!running())
        return u"Not tracking"_s;
    return m_model->isPrivate() ? u"Tracking · private"_s : u"Tracking"_s;
}

double TimerViewModel::dialTotal() const
{
    return m_model ? nonNegative(m_model->todaySeconds()) : 0;
}

double TimerViewModel::dialSession() const
{
    return running() ? nonNegative(m_model->sessionSeconds()) : 0;
}

double TimerViewModel::goalSeconds() const
{
    return m_model ? nonNegative(m_model->dayGoalHours()) * 3600 : 0;
}

int TimerViewModel::goalHours() const
{
    return m_model ? int(std::floor(nonNegative(m_model->dayGoalHours()))) : 0;
}

QString TimerViewModel::goalLine() const
{
    return u"of %1h"_s.arg(goalHours());
}

QString TimerViewModel::dialLabel() const
{
    return u"Tracked today "_s + todayShort() + u" of %1 hours"_s.arg(goalHours());
}

QString TimerViewModel::projectTitle() const
{
    const Project *project = m_model ? m_model->project() : nullptr;
    return project ? project->name : u"No project selected"_s;
}

QString TimerViewModel::taskTitle() const
{
    if (!m_model || !m_model->project())
        return u"Pick a project to start"_s;
    const WorkTask *task = m_model->task();
    return task ? task->name : u"No task"_s;
}

QString TimerViewModel::buttonHelp() const
{
    if (running())
        return u"Stop the timer (Ctrl+Enter)"_s;
    if (m_model && m_model->canStart())
        return u"Start the timer (Ctrl+Enter)"_s;
    return u"Pick a project to start"_s;
}

QString TimerViewModel::startCaption() const
{
    if (!m_model || running() || m_model->canStart())
        return {};
    return m_model->projects().isEmpty() ? u"No projects are assigned to you yet."_s : u"Pick a project to start."_s;
}

QString TimerViewModel::sessionMetric() const
{
    return running() ? sessionClock() : u"00:00:00"_s;
}

QString TimerViewModel::leftToday() const
{
    if (!m_model)
        return Durations::shortDuration(0);
    return Durations::shortDuration(std::max(0.0, goalSeconds() - dialTotal()));
}

QString TimerViewModel::projectValue() const
{
    const Project *project = m_model ? m_model->project() : nullptr;
    return project ? project->name : u"Choose a project"_s;
}

bool TimerViewModel::projectPlaceholder() const
{
    return !m_model || !m_model->project();
}

QString TimerViewModel::taskValue() const
{
    const WorkTask *task = m_model ? m_model->task() : nullptr;
    return task ? task->name : u"Choose a task"_s;
}

bool TimerViewModel::taskPlaceholder() const
{
    return !m_model || !m_model->task();
}

bool TimerViewModel::taskChoosable() const
{
    const Project *project = m_model ? m_model->project() : nullptr;
    return project && !project->tasks.isEmpty();
}

bool TimerViewModel::isPrivate() const
{
    return m_model && m_model->isPrivate();
}

QString TimerViewModel::activityLine() const
{
    if (!running() || !m_model->lastActivity())
        return {};
    const double percent = std::clamp(nonNegative(*m_model->lastActivity()), 0.0, 100.0);
    return QString::number(int(percent)) + u"% last minute"_s;
}

int TimerViewModel::keys() const
{
    return running() ? std::max(0, m_model->monitor().keystrokes()) : 0;
}

int TimerViewModel::clicks() const
{
    return running() ? std::max(0, m_model->monitor().clicks()) : 0;
}

bool TimerViewModel::inputAllowed() const
{
    return m_model && m_model->inputAllowed();
}

bool TimerViewModel::hasShot() const
{
    return m_model && m_model->hasLastShot();
}

QString TimerViewModel::shotSource() const
{
    return hasShot() ? u"image://lastshot/%1"_s.arg(m_shotGeneration) : QString();
}

QString TimerViewModel::captureTitle() const
{
    const std::optional<Instant> at = m_model ? m_model->lastShotAt() : std::nullopt;
    if (!at)
        return u"Screenshots"_s;
    const double minutes = std::trunc(m_model->now().secondsSince(*at) / 60);
    if (!(minutes >= 1))
        return u"Captured just now"_s;
    return u"Captured %1m ago"_s.arg(qint64(std::min(minutes, 9.0e15)));
}

QString TimerViewModel::captureDetail() const
{
    if (!m_model)
        return {};
    if (!m_model->screenAllowed())
        return u"Off until you allow Screen Recording."_s;
    if (m_model->isDemo())
        return u"Not captured in the demo workspace."_s;
    if (m_model->isRunning() && m_model->isPrivate())
        return u"Paused while private mode is on."_s;
    const std::optional<double> next = m_model->nextShotIn();
    if (!next)
        return u"Taken on your workspace's schedule while you track."_s;
    const double seconds = nonNegative(*next);
    if (seconds < 60)
        return u"Next capture in under a minute."_s;
    return u"Next capture in about %1 min."_s.arg(qint64(std::floor(seconds / 60)) + 1);
}

bool TimerViewModel::screenAllowed() const
{
    return m_model && m_model->screenAllowed();
}

QString TimerViewModel::sessionTile() const
{
    return running() ? sessionClock() : u"—"_s;
}

QString TimerViewModel::weekValue() const
{
    return Durations::shortDuration(m_model ? m_model->weekSeconds() : 0);
}

QString TimerViewModel::weekLabel() const
{
    const double hours = m_model ? nonNegative(m_model->dayGoalHours()) * 5 : 0;
    return u"This week · of %1h"_s.arg(qint64(std::floor(hours)));
}

double TimerViewModel::weekProgress() const
{
    const double goal = goalSeconds() * 5;
    if (!m_model || goal <= 0)
        return 0;
    return std::clamp(nonNegative(m_model->weekSeconds()) / goal, 0.0, 1.0);
}

QString TimerViewModel::meetingValue() const
{
    return m_model ? m_model->stats().meeting : QString();
}

QString TimerViewModel::statusText() const
{
    return m_model ? m_model->syncText() : QString();
}

bool TimerViewModel::statusAlert() const
{
    return m_model && (m_model->loadError() || m_model->sync().kind == SyncState::Kind::failed);
}

bool TimerViewModel::canRetry() const
{
    return m_model && m_model->loadError().has_value();
}

bool TimerViewModel::loading() const
{
    return m_model && m_model->loading();
}

QString TimerViewModel::pickerHelp(const QString &label) const
{
    return running() ? u"Stop the timer to switch "_s + label.toLower() : QString();
}

void TimerViewModel::toggle()
{
    if (m_model && buttonEnabled())
        m_model->setRunning(!m_model->isRunning());
}

void TimerViewModel::setPrivate(bool on)
{
    if (m_model)
        m_model->setPrivate(on);
}

void TimerViewModel::chooseProject(int row)
{
    // A running session keeps what it was started for.
    if (m_model && !running())
        m_projectItems->choose(row);
}

void TimerViewModel::chooseTask(int row)
{
    if (m_model && !running())
        m_taskItems->choose(row);
}

void TimerViewModel::retry()
{
    if (m_model)
        m_model->startRefresh();
}

void TimerViewModel::allowInput()
{
    if (!Permissions::open(QString::fromLatin1(Permissions::listenEvent)))
        qCWarning(lcTracking, "could not open the help page on input monitoring");
}

void TimerViewModel::allowScreen()
{
    fireAndForget(askForScreen(m_model), "screen access");
}
