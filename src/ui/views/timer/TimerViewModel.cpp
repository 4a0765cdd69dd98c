#include "TimerViewModel.h"

#include "AppModel.h"
#include "Durations.h"
#include "ViewsSetup.h"

using namespace Qt::StringLiterals;

TimerViewModel::TimerViewModel(AppModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    if (!model)
        return;
    // Every text here follows from these; one signal keeps the bindings simple.
    for (auto signal : {&AppModel::snapshotChanged, &AppModel::nowChanged, &AppModel::choiceChanged,
                        &AppModel::projectsChanged, &AppModel::statsChanged, &AppModel::signedInChanged})
        connect(model, signal, this, &TimerViewModel::changed);
}

TimerViewModel *TimerViewModel::create(QQmlEngine *engine, QJSEngine *)
{
    return new TimerViewModel(ViewsSetup::model(), engine);
}

QString TimerViewModel::statusCaption() const
{
    return m_model && m_model->isRunning() ? u"TRACKING"_s : u"NOT TRACKING"_s;
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
    return m_model && m_model->isRunning() ? u"Stop tracking"_s : u"Start tracking"_s;
}

bool TimerViewModel::buttonEnabled() const
{
    if (!m_model || !m_model->signedIn())
        return false;
    return m_model->isRunning() || m_model->canStart();
}

void TimerViewModel::toggle()
{
    if (m_model && buttonEnabled())
        m_model->setRunning(!m_model->isRunning());
}
