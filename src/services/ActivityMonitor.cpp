#include "ActivityMonitor.h"

#include "InputTap.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

ActivityMonitor::ActivityMonitor(QObject *parent)
    : QObject(parent)
{
}

ActivityMonitor::~ActivityMonitor()
{
    stop();
}

void ActivityMonitor::start()
{
    if (m_tap || m_filterInstalled)
        return;
    // The tap is preferred; without it (no X, no XInput 2, no readable
    // devices) the fallback takes over silently.
    m_tap = InputTap::create([this](InputTap::Press press) {
        if (press == InputTap::Press::keystroke)
            addKeystroke();
        else
            addClick();
    });
    if (m_tap)
        return;
    if (QCoreApplication *app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        m_filterInstalled = true;
    }
}

void ActivityMonitor::stop()
{
    m_tap.reset();
    if (m_filterInstalled) {
        if (QCoreApplication *app = QCoreApplication::instance())
            app->removeEventFilter(this);
        m_filterInstalled = false;
    }
    m_keystrokes = 0;
    m_clicks = 0;
}

InputCounts ActivityMonitor::drain()
{
    const InputCounts taken{m_keystrokes, m_clicks};
    m_keystrokes = 0;
    m_clicks = 0;
    return taken;
}

bool ActivityMonitor::tap() const
{
    return m_tap != nullptr;
}

ActivityMonitor::Strategy ActivityMonitor::strategy() const
{
    if (m_tap)
        return Strategy::tapping;
    return m_filterInstalled ? Strategy::fallback : Strategy::stopped;
}

bool ActivityMonitor::eventFilter(QObject *watched, QEvent *event)
{
    // An input event reaches the window first and is then passed on to items
    // and widgets, each time through this filter: count it at the window only.
    if (!watched->isWindowType())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
            addKeystroke();
        break;
    case QEvent::MouseButtonPress: {
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if (button == Qt::LeftButton || button == Qt::RightButton)
            addClick();
        break;
    }
    default:
        break;
    }
    return false;
}

void ActivityMonitor::addKeystroke()
{
    ++m_keystrokes;
    m_totalInputs += 1;
}

void ActivityMonitor::addClick()
{
    ++m_clicks;
    m_totalInputs += 2;
}
