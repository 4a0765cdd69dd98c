#include "XConnection.h"

#include <QSet>
#include <QSocketNotifier>
#include <QString>

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

namespace {

// Errors land here while an ErrorTrap is alive. Only the main thread talks to
// our connections, so one counter is enough.
int trappedErrors = 0;

int recordError(Display *, XErrorEvent *)
{
    ++trappedErrors;
    return 0;
}

// Our displays. A lost one only marks its connection broken; any other
// display (the toolkit's own, for one) goes to the handler that was there
// before, which usually ends the process as Xlib always did.
QSet<Display *> ownDisplays;
XIOErrorHandler previousIOError = nullptr;
int opened = 0;

// The kept session connection and the DISPLAY it was opened for.
struct Kept {
    std::unique_ptr<XConnection> connection;
    QByteArray display;
};
Kept &kept()
{
    static Kept k;
    return k;
}

int ioError(Display *display)
{
    if (ownDisplays.contains(display))
        return 0;
    return previousIOError ? previousIOError(display) : 0;
}

} // namespace

// Read straight from the environment, without copies: asked several times
// a second.
bool XConnection::x11Session()
{
    const char *type = std::getenv("XDG_SESSION_TYPE");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    return (!type || std::strcmp(type, "wayland") != 0) && (!wayland || !*wayland);
}

std::unique_ptr<XConnection> XConnection::openSession()
{
    return x11Session() ? open() : nullptr;
}

XConnection *XConnection::session()
{
    Kept &k = kept();
    const char *variable = x11Session() ? std::getenv("DISPLAY") : nullptr;
    const QByteArrayView display(variable ? variable : "");
    if (display.isEmpty()) {
        k.connection.reset();
        k.display.clear();
        return nullptr;
    }
    if (k.connection && !k.connection->broken() && k.display == display)
        return k.connection.get();
    // First use, another display, or a lost server: try once now; a server
    // that is gone refuses at once, so this costs little until it is back.
    k.display = display.toByteArray();
    k.connection = open(k.display);
    return k.connection.get();
}

int XConnection::openedCount()
{
    return opened;
}

std::unique_ptr<XConnection> XConnection::open(const QByteArray &display)
{
    const QByteArray name = display.isEmpty() ? qgetenv("DISPLAY") : display;
    if (name.isEmpty())
        return nullptr;
    Display *dpy = XOpenDisplay(name.constData());
    if (!dpy)
        return nullptr;
    ++opened;
    return std::unique_ptr<XConnection>(new XConnection(dpy));
}

XConnection::XConnection(Display *display)
    : m_display(display), m_serial(opened)
{
    // Xlib first calls the process-wide I/O error handler (which, by default
    // and in the toolkit, ends the process), then the display's exit handler.
    static const bool installed = [] {
        previousIOError = XSetIOErrorHandler(ioError);
        return true;
    }();
    Q_UNUSED(installed);
    ownDisplays.insert(m_display);
    XSetIOErrorExitHandler(m_display, &XConnection::lost, this);
}

XConnection::~XConnection()
{
    m_notifier.reset();
    if (m_display) {
        XCloseDisplay(m_display);
        ownDisplays.remove(m_display);
    }
}

int XConnection::fd() const
{
    return ConnectionNumber(m_display);
}

void XConnection::setEventHandler(const void *key, EventHandler handler)
{
    for (auto &[owner, existing] : m_handlers) {
        if (owner == key) {
            existing = std::move(handler);
            return;
        }
    }
    m_handlers.emplace_back(key, std::move(handler));
    if (!m_notifier && !m_broken) {
        // Reading as events arrive keeps them from piling up while nobody asks.
        m_notifier = std::make_unique<QSocketNotifier>(fd(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { dispatch(); });
    }
}

void XConnection::dispatch()
{
    // XPending reads what the socket holds without a round trip.
    while (!m_broken && XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        // By index, on a copy: a handler may set another.
        for (std::size_t i = 0; i < m_handlers.size(); ++i) {
            const EventHandler handler = m_handlers[i].second;
            handler(event);
        }
    }
    if (m_broken && m_notifier)
        m_notifier->setEnabled(false);
}

void XConnection::lost(Display *, void *self)
{
    // Returning from here leaves the display unusable but the process alive;
    // every later Xlib call on it fails fast.
    static_cast<XConnection *>(self)->m_broken = true;
}

XConnection::ErrorTrap::ErrorTrap(XConnection &connection)
    : m_connection(connection)
{
    trappedErrors = 0;
    m_previous = reinterpret_cast<void *>(XSetErrorHandler(recordError));
}

XConnection::ErrorTrap::~ErrorTrap()
{
    settle();
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(m_previous));
}

bool XConnection::ErrorTrap::failed()
{
    settle();
    return trappedErrors > 0 || m_connection.broken();
}

void XConnection::ErrorTrap::settle()
{
    // The server answers in order: once the last request sent has been
    // answered (a reply read), every error before it has arrived too, and a
    // sync would only cost another round trip.
    Display *dpy = m_connection.display();
    if (!m_connection.broken() && LastKnownRequestProcessed(dpy) + 1 < NextRequest(dpy))
        XSync(dpy, False);
}
