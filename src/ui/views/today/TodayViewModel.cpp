#include "TodayViewModel.h"

#include "AppModel.h"
#include "Durations.h"
#include "ViewsSetup.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {
// The server's percentage as shown: NaN reads 0, and the ring holds 0…100.
double percentOf(const TodayStats &stats)
{
    const double p = stats.productivePercent;
    return std::isfinite(p) ? std::clamp(p, 0.0, 100.0) : 0;
}

// A statistics text the server left empty still takes its line.
QString orDash(const QString &text)
{
    return text.trimmed().isEmpty() ? u"—"_s : text;
}
} // namespace

TodayViewModel::TodayViewModel(AppModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(this, &TodayViewModel::changed, this, [this] { m_changes.check(); });
    if (!model)
        return;
    for (auto signal : {&AppModel::statsChanged, &AppModel::nowChanged, &AppModel::snapshotChanged,
                        &AppModel::isDemoChanged, &AppModel::loadingChanged})
        connect(model, signal, this, &TodayViewModel::changed);
}

TodayViewModel *TodayViewModel::create(QQmlEngine *engine, QJSEngine *)
{
    return new TodayViewModel(ViewsSetup::model(), engine);
}

double TodayViewModel::ringFraction() const
{
    return std::max(m_model ? percentOf(m_model->stats()) / 100 : 0.0, 0.001);
}

QString TodayViewModel::percentText() const
{
    return QString::number(int(m_model ? percentOf(m_model->stats()) : 0)) + u'%';
}

QString TodayViewModel::activitySpan() const
{
    if (!m_model)
        return {};
    return orDash(m_model->stats().start) + u" – "_s + orDash(m_model->stats().end);
}

QString TodayViewModel::trackedValue() const
{
    return Durations::shortDuration(m_model ? m_model->todaySeconds() : 0);
}

QString TodayViewModel::productiveValue() const
{
    return m_model ? orDash(m_model->stats().productive) : QString();
}

QString TodayViewModel::meetingValue() const
{
    return m_model ? orDash(m_model->stats().meeting) : QString();
}

QString TodayViewModel::manualValue() const
{
    return m_model ? orDash(m_model->stats().manual) : QString();
}

QString TodayViewModel::weekValue() const
{
    return Durations::shortDuration(m_model ? m_model->weekSeconds() : 0);
}

bool TodayViewModel::canRefresh() const
{
    return m_model && !m_model->isDemo() && !m_model->loading();
}

bool TodayViewModel::loading() const
{
    return m_model && m_model->loading();
}

void TodayViewModel::refresh()
{
    if (canRefresh())
        m_model->startRefresh();
}
