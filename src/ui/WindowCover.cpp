#include "WindowCover.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

WindowCover::WindowCover(QObject *parent)
    : QObject(parent)
{
    if (QGuiApplication::platformName() != "xcb"_L1)
        return;
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WindowCover::readEvents);
}

WindowCover::~WindowCover()
{
    delete m_notifier;
    if (m_connection)
        xcb_disconnect(m_connection);
}

void WindowCover::watch(QWindow *window)
{
    if (!m_connection || !window || !window->handle())
        return;
    const quintptr id = window->winId();
    if (m_covered.contains(id))
        return;
    m_covered.insert(id, false);
    // A window gone in the meantime answers with an error event, which
    // readEvents drops.
    const uint32_t mask = XCB_EVENT_MASK_VISIBILITY_CHANGE;
    xcb_change_window_attributes(m_connection, xcb_window_t(id), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

bool WindowCover::covered(const QWindow *window) const
{
    return window && window->handle() && m_covered.value(const_cast<QWindow *>(window)->winId(), false);
}

void WindowCover::readEvents()
{
    bool change = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_VISIBILITY_NOTIFY) {
            const auto *v = reinterpret_cast<const xcb_visibility_notify_event_t *>(event);
            const bool covered = v->state == XCB_VISIBILITY_FULLY_OBSCURED;
            auto it = m_covered.find(v->window);
            if (it != m_covered.end() && *it != covered) {
                *it = covered;
                change = true;
            }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
    if (change)
        Q_EMIT changed();
}
