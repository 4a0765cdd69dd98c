#pragma once

#include <QByteArray>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;
class QSocketNotifier;

// One Xlib connection of our own. A lost server marks it broken instead of
// ending the process (Xlib's default), and protocol errors raised while an
// ErrorTrap is alive are recorded instead of printed and fatal. Events are
// read in one place and handed to every feature that asked for some.
class XConnection {
public:
    // nullptr when the display cannot be opened (no X, empty DISPLAY).
    static std::unique_ptr<XConnection> open(const QByteArray &display = {});
    ~XConnection();
    XConnection(const XConnection &) = delete;
    XConnection &operator=(const XConnection &) = delete;

    // True unless this is a Wayland session, where Xwayland only knows about
    // its own clients and X answers would mislead.
    static bool x11Session();
    // A connection to this session's display; nothing outside an X11 session.
    static std::unique_ptr<XConnection> openSession();

    // The one kept connection to this session's display, for the desktop
    // queries that run every few seconds (front window, idle time, input
    // access): opened on first use, and opened anew when DISPLAY changes or
    // the server was lost. Nothing outside an X11 session or when the display
    // cannot be opened. Main thread only; do not keep the pointer.
    static XConnection *session();

    // Connections opened by this process so far (for tests and benchmarks).
    static int openedCount();

    Display *display() const { return m_display; }
    bool broken() const { return m_broken; }
    int fd() const;
    // Which connection of this process this is (1, 2, ...): tells a new
    // connection from an earlier one that happened to live at the same address.
    int serial() const { return m_serial; }

    // Events go to the handler each feature set under its own key (setting
    // it again replaces it), from dispatch(): a socket notifier calls it as
    // events arrive, and code that waited for a reply calls it afterwards,
    // since events read meanwhile wait in Xlib's queue where the notifier
    // cannot see them. Main thread only.
    using EventHandler = std::function<void(const XEvent &)>;
    void setEventHandler(const void *key, EventHandler handler);
    // Hands every event already waiting to the handlers; never waits for the server.
    void dispatch();

    // Collects protocol errors of the calls made during its lifetime; the
    // destructor waits for the server's answer (XSync, unless the last
    // request's reply was already read) before restoring the previous
    // handler, so no late error escapes to it.
    class ErrorTrap {
    public:
        explicit ErrorTrap(XConnection &connection);
        ~ErrorTrap();
        // Waits for the answers (see settle) and tells whether any error arrived so far.
        bool failed();

    private:
        // Waits until every request sent so far has been answered.
        void settle();

        XConnection &m_connection;
        void *m_previous;
    };

private:
    explicit XConnection(Display *display);
    static void lost(Display *display, void *self);

    Display *m_display = nullptr;
    bool m_broken = false;
    int m_serial = 0;
    std::vector<std::pair<const void *, EventHandler>> m_handlers;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
