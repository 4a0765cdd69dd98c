#include "XInputTap.h"

#include "XConnection.h"

#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace {

// XInput 2.0 or later on this connection: its major opcode, or 0.
int xinputOpcode(XConnection &connection)
{
    Display *dpy = connection.display();
    int opcode = 0, event = 0, error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error))
        return 0;
    int major = 2, minor = 2;
    XConnection::ErrorTrap trap(connection);
    const Status status = XIQueryVersion(dpy, &major, &minor);
    if (trap.failed() || status != Success || major < 2)
        return 0;
    return opcode;
}

bool isScrollButton(int button)
{
    return button >= 4 && button <= 7;
}

} // namespace

std::unique_ptr<XInputTap> XInputTap::open(Sink sink, const QByteArray &display)
{
    std::unique_ptr<XConnection> connection = XConnection::open(display);
    if (!connection)
        return nullptr;
    const int opcode = xinputOpcode(*connection);
    if (!opcode)
        return nullptr;

    // Master devices only: selecting the slaves as well would count every
    // press twice.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    {
        XConnection::ErrorTrap trap(*connection);
        Display *dpy = connection->display();
        XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
        if (trap.failed())
            return nullptr;
    }
    return std::unique_ptr<XInputTap>(new XInputTap(std::move(sink), std::move(connection), opcode));
}

bool XInputTap::available(const QByteArray &display)
{
    // Asked every few seconds: the session's kept connection serves, and
    // its answer holds until that connection is replaced (DISPLAY changed,
    // server lost), so no extension query crosses the socket on each ask.
    if (display.isEmpty()) {
        XConnection *connection = XConnection::session();
        if (!connection)
            return false;
        static int answeredFor = 0;
        static bool answer = false;
        if (answeredFor != connection->serial()) {
            answer = xinputOpcode(*connection) != 0;
            answeredFor = connection->serial();
            connection->dispatch();
        }
        return answer;
    }
    std::unique_ptr<XConnection> connection = XConnection::open(display);
    return connection && xinputOpcode(*connection) != 0;
}

XInputTap::XInputTap(Sink sink, std::unique_ptr<XConnection> connection, int opcode)
    : InputTap(std::move(sink))
    , m_connection(std::move(connection))
    , m_opcode(opcode)
{
    m_notifier = new QSocketNotifier(m_connection->fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XInputTap::readEvents);
    // Events may already sit in Xlib's queue from the set-up round trips.
    readEvents();
}

XInputTap::~XInputTap()
{
    delete m_notifier;
}

bool XInputTap::active() const
{
    return m_notifier && m_notifier->isEnabled() && !m_connection->broken();
}

void XInputTap::readEvents()
{
    Display *dpy = m_connection->display();
    while (!m_connection->broken() && XPending(dpy)) {
        XEvent event;
        XNextEvent(dpy, &event);
        XGenericEventCookie *cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_opcode || !XGetEventData(dpy, cookie))
            continue;
        const auto *raw = static_cast<const XIRawEvent *>(cookie->data);
        if (cookie->evtype == XI_RawKeyPress) {
            if (!(raw->flags & XIKeyRepeat))
                report(Press::keystroke);
        } else if (cookie->evtype == XI_RawButtonPress) {
            if (!isScrollButton(raw->detail))
                report(Press::click);
        }
        XFreeEventData(dpy, cookie);
    }
    // A lost server is not reconnected: counting stops until the monitor is
    // stopped and started again.
    if (m_connection->broken())
        m_notifier->setEnabled(false);
}
