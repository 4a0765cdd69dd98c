#include "XActiveWindow.h"

#include "XConnection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The one 32-bit item of a window property, or nullopt.
std::optional<unsigned long> cardinalProperty(Display *dpy, Window window, Atom property, Atom type)
{
    if (property == None)
        return std::nullopt;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(dpy, window, property, 0, 1, False, type, &actualType, &format, &count,
                                          &remaining, &data);
    std::optional<unsigned long> value;
    if (status == Success && data && actualType == type && format == 32 && count == 1)
        value = reinterpret_cast<unsigned long *>(data)[0];   // Xlib widens 32-bit items to long
    if (data)
        XFree(data);
    return value;
}

struct Watch {
    int serial = 0;   // the connection whose root window was selected
    Atom activeAtom = None;
    Atom pidAtom = None;
    bool stale = true;
    std::optional<FocusedWindow> window;
};

Watch &watch()
{
    static Watch w;
    return w;
}

// A change of the active window marks the answer stale.
void handle(const XEvent &event)
{
    Watch &w = watch();
    if (event.type == PropertyNotify && event.xproperty.atom == w.activeAtom)
        w.stale = true;
}

std::optional<FocusedWindow> read(XConnection &connection, bool &failed)
{
    Watch &w = watch();
    Display *dpy = connection.display();
    // The window may vanish between the calls: the trap turns that into "no answer".
    XConnection::ErrorTrap trap(connection);
    const std::optional<unsigned long> window =
        cardinalProperty(dpy, DefaultRootWindow(dpy), w.activeAtom, XA_WINDOW);
    if (trap.failed()) {
        failed = true;
        return std::nullopt;
    }
    if (!window || *window == None)
        return std::nullopt;
    FocusedWindow active;
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(dpy, *window, &hint)) {
        if (hint.res_class)
            active.wmClass = QString::fromLocal8Bit(hint.res_class).trimmed();
        if (active.wmClass.isEmpty() && hint.res_name)
            active.wmClass = QString::fromLocal8Bit(hint.res_name).trimmed();
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    if (const std::optional<unsigned long> pid = cardinalProperty(dpy, *window, w.pidAtom, XA_CARDINAL))
        active.pid = qint64(*pid);
    if (trap.failed()) {
        failed = true;
        return std::nullopt;
    }
    return active;
}

} // namespace

namespace XActiveWindow {

std::optional<FocusedWindow> current()
{
    Watch &w = watch();
    XConnection *connection = XConnection::session();
    if (!connection) {
        w.serial = 0;
        return std::nullopt;
    }
    if (w.serial != connection->serial()) {
        // A new connection: ask for the root window's property changes once.
        Display *dpy = connection->display();
        w.serial = connection->serial();
        w.activeAtom = XInternAtom(dpy, "_NET_ACTIVE_WINDOW", False);
        w.pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
        XSelectInput(dpy, DefaultRootWindow(dpy), PropertyChangeMask);
        w.stale = true;
        connection->setEventHandler(&w, handle);
    }
    // Changes are taken as they arrive (the connection's notifier), so an
    // unchanged window costs not even a system call.
    if (connection->broken())
        return std::nullopt;
    if (w.stale) {
        bool failed = false;
        w.window = read(*connection, failed);
        // A window that vanished mid-read is asked about again next time.
        w.stale = failed;
        // Events read while waiting for the answers sit in Xlib's queue.
        connection->dispatch();
    }
    return w.window;
}

} // namespace XActiveWindow
