#include "XConnection.h"

#include <QString>

#include <X11/Xlib.h>

namespace {

// Errors land here while an ErrorTrap is alive. Only the main thread talks to
// our connections, so one counter is enough.
int trappedErrors = 0;

int recordError(Display *, XErrorEvent *)
{
    ++trappedErrors;
    return 0;
}

// Xlib prints a line and then calls the exit handler; ours keeps the process.
int quietIOError(Display *)
{
    return 0;
}

} // namespace

bool XConnection::x11Session()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") != QLatin1StringView("wayland")
           && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

std::unique_ptr<XConnection> XConnection::open(const QByteArray &display)
{
    const QByteArray name = display.isEmpty() ? qgetenv("DISPLAY") : display;
    if (name.isEmpty())
        return nullptr;
    Display *dpy = XOpenDisplay(name.constData());
    if (!dpy)
        return nullptr;
    return std::unique_ptr<XConnection>(new XConnection(dpy));
}

XConnection::XConnection(Display *display)
    : m_display(display)
{
    static const bool handlerSet = [] {
        XSetIOErrorHandler(quietIOError);
        return true;
    }();
    Q_UNUSED(handlerSet);
    XSetIOErrorExitHandler(m_display, &XConnection::lost, this);
}

XConnection::~XConnection()
{
    if (m_display)
        XCloseDisplay(m_display);
}

int XConnection::fd() const
{
    return ConnectionNumber(m_display);
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
    if (!m_connection.broken())
        XSync(m_connection.display(), False);
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(m_previous));
}

bool XConnection::ErrorTrap::failed()
{
    if (!m_connection.broken())
        XSync(m_connection.display(), False);
    return trappedErrors > 0 || m_connection.broken();
}
