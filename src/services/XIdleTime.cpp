#include "XIdleTime.h"

#include "XConnection.h"

#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/sync.h>

#include <algorithm>
#include <cstring>

namespace {

struct Watch {
    int serial = 0;   // the connection the alarms were set on
    bool ready = false;
    int alarmEvent = 0;
    XSyncAlarm idled = None;
    XSyncAlarm resumed = None;
    bool idle = false;
    // The counter at the last alarm (or at the start), and the time since.
    double counterMs = 0;
    QElapsedTimer since;
};

Watch &watch()
{
    static Watch w;
    return w;
}

double milliseconds(const XSyncValue &value)
{
    return double(XSyncValueHigh32(value)) * 4294967296.0 + double(XSyncValueLow32(value));
}

// Delta 0: a transition alarm stays armed after it fired, for the next one.
XSyncAlarm alarm(Display *dpy, XSyncCounter counter, XSyncTestType test, int valueMs)
{
    XSyncAlarmAttributes attributes{};
    attributes.trigger.counter = counter;
    attributes.trigger.value_type = XSyncAbsolute;
    attributes.trigger.test_type = test;
    XSyncIntToValue(&attributes.trigger.wait_value, valueMs);
    XSyncIntToValue(&attributes.delta, 0);
    attributes.events = True;
    return XSyncCreateAlarm(dpy,
                            XSyncCACounter | XSyncCAValueType | XSyncCATestType | XSyncCAValue | XSyncCADelta
                                | XSyncCAEvents,
                            &attributes);
}

void handle(const XEvent &event)
{
    Watch &w = watch();
    if (!w.ready || event.type != w.alarmEvent)
        return;
    const auto &notify = reinterpret_cast<const XSyncAlarmNotifyEvent &>(event);
    if (notify.alarm != w.idled && notify.alarm != w.resumed)
        return;
    w.idle = notify.alarm == w.idled;
    w.counterMs = milliseconds(notify.counter_value);
    w.since.start();
}

// Sets both alarms on a new connection and reads the counter once, since
// "idled" fires only on the way up: a user already away when we start
// would otherwise be taken as present until their next return.
bool subscribe(XConnection &connection)
{
    Watch &w = watch();
    Display *dpy = connection.display();
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XSyncQueryExtension(dpy, &eventBase, &errorBase) || !XSyncInitialize(dpy, &major, &minor))
        return false;
    XSyncCounter counter = None;
    int count = 0;
    if (XSyncSystemCounter *counters = XSyncListSystemCounters(dpy, &count)) {
        for (int i = 0; i < count; ++i) {
            if (std::strcmp(counters[i].name, "IDLETIME") == 0)
                counter = counters[i].counter;
        }
        XSyncFreeSystemCounterList(counters);
    }
    if (counter == None)
        return false;
    XConnection::ErrorTrap trap(connection);
    // "Resumed" just below the threshold fires only on a return from at
    // least the threshold, not on every key while the user is busy.
    w.idled = alarm(dpy, counter, XSyncPositiveTransition, XIdleTime::thresholdMs);
    w.resumed = alarm(dpy, counter, XSyncNegativeTransition, XIdleTime::thresholdMs - 1);
    XSyncValue value;
    const bool read = XSyncQueryCounter(dpy, counter, &value);
    if (!read || trap.failed())
        return false;
    w.alarmEvent = eventBase + XSyncAlarmNotify;
    w.counterMs = milliseconds(value);
    w.idle = w.counterMs >= XIdleTime::thresholdMs;
    w.since.start();
    w.ready = true;
    connection.setEventHandler(&w, handle);
    return true;
}

} // namespace

namespace XIdleTime {

std::optional<double> seconds()
{
    Watch &w = watch();
    XConnection *connection = XConnection::session();
    if (!connection) {
        w = Watch{};
        return std::nullopt;
    }
    if (w.serial != connection->serial()) {
        w = Watch{};
        w.serial = connection->serial();
        subscribe(*connection);
        // Events read while waiting for the answers sit in Xlib's queue.
        connection->dispatch();
    }
    // Alarms are taken as they arrive (the connection's notifier): asking
    // costs not even a system call.
    if (!w.ready || connection->broken())
        return std::nullopt;
    const double ms = w.counterMs + double(w.since.elapsed());
    // Below the threshold the server tells nothing more: the time since the
    // return, at most the threshold, keeps the answer from falling without input.
    return (w.idle ? ms : std::min(ms, double(thresholdMs))) / 1000.0;
}

std::optional<double> asked()
{
    XConnection *connection = XConnection::session();
    if (!connection)
        return std::nullopt;
    Display *dpy = connection->display();
    int event = 0, error = 0;
    if (!XScreenSaverQueryExtension(dpy, &event, &error))
        return std::nullopt;
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    if (!info)
        return std::nullopt;
    std::optional<double> idle;
    {
        XConnection::ErrorTrap trap(*connection);
        const Status ok = XScreenSaverQueryInfo(dpy, DefaultRootWindow(dpy), info);
        if (ok && !trap.failed())
            idle = double(info->idle) / 1000.0;
    }
    XFree(info);
    // Events read while waiting for the answer sit in Xlib's queue.
    connection->dispatch();
    return idle;
}

} // namespace XIdleTime
