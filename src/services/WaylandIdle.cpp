#include "WaylandIdle.h"

#include "TrackingLog.h"
#include "XConnection.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

WaylandIdle::WaylandIdle(const QByteArray &display, QObject *parent)
    : QObject(parent)
{
    m_display = wl_display_connect(display.isEmpty() ? nullptr : display.constData());
    if (!m_display) {
        qCWarning(lcTracking) << "idle: cannot connect to the Wayland display:" << std::strerror(errno);
        return;
    }
    static const wl_registry_listener registry = {&WaylandIdle::global, &WaylandIdle::globalRemove};
    static const wl_callback_listener done = {&WaylandIdle::synced};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registry, this);
    // Answered after every global was announced.
    wl_callback_add_listener(wl_display_sync(m_display), &done, this);
    m_socket = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read, this);
    connect(m_socket, &QSocketNotifier::activated, this, &WaylandIdle::dispatch);
    wl_display_flush(m_display);
}

WaylandIdle::~WaylandIdle()
{
    drop(nullptr);
}

WaylandIdle *WaylandIdle::session()
{
    static WaylandIdle *idle = nullptr;
    if (!idle && !XConnection::x11Session() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        idle = new WaylandIdle({}, QCoreApplication::instance());
    return idle;
}

std::optional<double> WaylandIdle::seconds() const
{
    if (!m_ready)
        return std::nullopt;
    if (!m_idle)
        return 0.0;
    return (thresholdMs + m_idleSince.elapsed()) / 1000.0;
}

void WaylandIdle::global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *self = static_cast<WaylandIdle *>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
        self->m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
        self->m_notifier =
            static_cast<ext_idle_notifier_v1 *>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0)
        self->m_kdeIdle =
            static_cast<org_kde_kwin_idle *>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
}

void WaylandIdle::globalRemove(void *, wl_registry *, uint32_t)
{
}

void WaylandIdle::synced(void *data, wl_callback *callback, uint32_t)
{
    wl_callback_destroy(callback);
    static_cast<WaylandIdle *>(data)->subscribe();
}

void WaylandIdle::idled(void *data, void *)
{
    auto *self = static_cast<WaylandIdle *>(data);
    self->m_idle = true;
    self->m_idleSince.start();
    Q_EMIT self->idleChanged();
}

void WaylandIdle::resumed(void *data, void *)
{
    auto *self = static_cast<WaylandIdle *>(data);
    self->m_idle = false;
    Q_EMIT self->idleChanged();
}

void WaylandIdle::subscribe()
{
    if (!m_seat || (!m_notifier && !m_kdeIdle)) {
        // Inside the dispatch: the connection is closed once that returns.
        m_failure = "the compositor offers no idle notification protocol";
        return;
    }
    static const ext_idle_notification_v1_listener notification = {
        [](void *data, ext_idle_notification_v1 *n) { idled(data, n); },
        [](void *data, ext_idle_notification_v1 *n) { resumed(data, n); },
    };
    static const org_kde_kwin_idle_timeout_listener kde = {
        [](void *data, org_kde_kwin_idle_timeout *t) { idled(data, t); },
        [](void *data, org_kde_kwin_idle_timeout *t) { resumed(data, t); },
    };
    if (m_notifier) {
        m_notification = ext_idle_notifier_v1_get_idle_notification(m_notifier, thresholdMs, m_seat);
        ext_idle_notification_v1_add_listener(m_notification, &notification, this);
    } else {
        m_kdeTimeout = org_kde_kwin_idle_get_idle_timeout(m_kdeIdle, m_seat, thresholdMs);
        org_kde_kwin_idle_timeout_add_listener(m_kdeTimeout, &kde, this);
    }
    wl_display_flush(m_display);
    m_ready = true;
    Q_EMIT readyChanged();
}

void WaylandIdle::dispatch()
{
    if (!m_display)
        return;
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0)
            break;
    }
    wl_display_flush(m_display);
    if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0) {
        drop("the Wayland connection broke");
        return;
    }
    if (m_failure) {
        drop(m_failure);
        return;
    }
    wl_display_flush(m_display);
}

void WaylandIdle::drop(const char *why)
{
    if (why)
        qCWarning(lcTracking) << "idle:" << why;
    const bool failed = why && m_display;
    if (m_socket) {
        m_socket->setEnabled(false);
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    if (m_notification)
        ext_idle_notification_v1_destroy(m_notification);
    if (m_notifier)
        ext_idle_notifier_v1_destroy(m_notifier);
    if (m_kdeTimeout)
        org_kde_kwin_idle_timeout_release(m_kdeTimeout);
    if (m_kdeIdle)
        org_kde_kwin_idle_destroy(m_kdeIdle);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_notification = nullptr;
    m_notifier = nullptr;
    m_kdeTimeout = nullptr;
    m_kdeIdle = nullptr;
    m_seat = nullptr;
    m_registry = nullptr;
    if (m_display) {
        wl_display_disconnect(m_display);
        m_display = nullptr;
    }
    const bool wasReady = m_ready;
    m_ready = false;
    m_idle = false;
    if (wasReady)
        Q_EMIT readyChanged();
    if (failed)
        Q_EMIT unavailable();
}
