#include "TrayState.h"

#include "AppModel.h"
#include "TimerViewModel.h"

using namespace Qt::StringLiterals;

TrayState::TrayState(AppModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_texts(new TimerViewModel(model, this))
{
    connect(m_texts, &TimerViewModel::changed, this, &TrayState::update);
    update();
}

void TrayState::toggle()
{
    m_texts->toggle();
}

void TrayState::update()
{
    const bool live = m_model && m_model->isRunning();
    const QString label = live ? m_texts->todayClock() : QString();
    const QString toolTip = live ? u"Tracking · %1 today"_s.arg(label) : u"Not tracking"_s;
    const QString toggleLabel = m_texts->buttonLabel();
    const bool toggleEnabled = m_texts->buttonEnabled();

    if (live != m_live) {
        m_live = live;
        Q_EMIT liveChanged();
    }
    if (label != m_label) {
        m_label = label;
        Q_EMIT labelChanged();
    }
    if (toolTip != m_toolTip) {
        m_toolTip = toolTip;
        Q_EMIT toolTipChanged();
    }
    if (toggleLabel != m_toggleLabel || toggleEnabled != m_toggleEnabled) {
        m_toggleLabel = toggleLabel;
        m_toggleEnabled = toggleEnabled;
        Q_EMIT toggleChanged();
    }
}
