#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <optional>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_callback;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;
class QSocketNotifier;

// Seconds since the last input in a Wayland session, from the compositor's
// idle notifications on a connection of our own: ext-idle-notify-v1, else
// KDE's org_kde_kwin_idle. The compositor says when a short threshold of no
// input passed ("idled") and when input came back ("resumed"); the seconds
// are counted from there without asking. Everything happens as the
// compositor's messages arrive, so a question never waits. Main thread only.
class WaylandIdle : public QObject {
    Q_OBJECT
public:
    // The threshold after which the compositor reports "idle".
    static constexpr unsigned thresholdMs = 1000;

    // Connects to `display` (WAYLAND_DISPLAY when empty); a failure leaves
    // an object that never answers.
    explicit WaylandIdle(const QByteArray &display = {}, QObject *parent = nullptr);
    ~WaylandIdle() override;

    // The application's one connection, opened on first use in a Wayland session.
    static WaylandIdle *session();

    // Seconds since the last input, or nullopt while (or when) the compositor
    // offers neither protocol.
    std::optional<double> seconds() const;
    bool ready() const { return m_ready; }

Q_SIGNALS:
    void readyChanged();
    void idleChanged();
    // The connection failed or the compositor lacks both protocols.
    void unavailable();

private:
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t name);
    static void synced(void *data, wl_callback *callback, uint32_t);
    static void idled(void *data, void *);
    static void resumed(void *data, void *);

    void dispatch();
    void subscribe();
    void drop(const char *why);

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    ext_idle_notifier_v1 *m_notifier = nullptr;
    ext_idle_notification_v1 *m_notification = nullptr;
    org_kde_kwin_idle *m_kdeIdle = nullptr;
    org_kde_kwin_idle_timeout *m_kdeTimeout = nullptr;
    QSocketNotifier *m_socket = nullptr;
    const char *m_failure = nullptr;
    bool m_ready = false;
    bool m_idle = false;
    QElapsedTimer m_idleSince;
};
