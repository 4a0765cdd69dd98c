#include "EvdevTap.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QStringList eventDevices(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("event*")}, QDir::System | QDir::Files | QDir::Readable,
                                  QDir::Name);
}

// Opens a device for non-blocking reads; -1 when it cannot be read or cannot
// produce key events. Files that answer no evdev ioctl (not a device node)
// are kept as they are: they simply carry input_event records.
int openDevice(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    unsigned long types = 0;
    if (::ioctl(fd, EVIOCGBIT(0, sizeof(types)), &types) >= 0 && !(types & (1UL << EV_KEY))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::unique_ptr<EvdevTap> EvdevTap::open(Sink sink, const QString &folder)
{
    std::unique_ptr<EvdevTap> tap(new EvdevTap(std::move(sink)));
    for (const QString &name : eventDevices(folder)) {
        const int fd = openDevice(folder + QLatin1Char('/') + name);
        if (fd < 0)
            continue;
        Device device;
        device.fd = fd;
        tap->m_devices.append(device);
    }
    if (tap->m_devices.isEmpty())
        return nullptr;
    for (int i = 0; i < tap->m_devices.size(); ++i) {
        auto *notifier = new QSocketNotifier(tap->m_devices[i].fd, QSocketNotifier::Read, tap.get());
        EvdevTap *self = tap.get();
        QObject::connect(notifier, &QSocketNotifier::activated, self, [self, i] { self->readDevice(i); });
        tap->m_devices[i].notifier = notifier;
    }
    return tap;
}

bool EvdevTap::available(const QString &folder)
{
    for (const QString &name : eventDevices(folder)) {
        const int fd = openDevice(folder + QLatin1Char('/') + name);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}

EvdevTap::EvdevTap(Sink sink)
    : InputTap(std::move(sink))
{
}

EvdevTap::~EvdevTap()
{
    for (int i = 0; i < m_devices.size(); ++i)
        closeDevice(i);
}

bool EvdevTap::active() const
{
    return deviceCount() > 0;
}

int EvdevTap::deviceCount() const
{
    int open = 0;
    for (const Device &device : m_devices)
        open += device.fd >= 0 ? 1 : 0;
    return open;
}

void EvdevTap::closeDevice(int index)
{
    Device &device = m_devices[index];
    if (device.fd < 0)
        return;
    // Called from the notifier's own signal: let it go once that returns.
    device.notifier->setEnabled(false);
    device.notifier->deleteLater();
    device.notifier = nullptr;
    ::close(device.fd);
    device.fd = -1;
    device.pending.clear();
}

void EvdevTap::readDevice(int index)
{
    Device &device = m_devices[index];
    char buffer[64 * sizeof(input_event)];
    for (;;) {
        const ssize_t n = ::read(device.fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            // Unplugged, or the writer went away: stop watching this one.
            closeDevice(index);
            return;
        }
        device.pending.append(buffer, n);
        qsizetype offset = 0;
        while (device.pending.size() - offset >= qsizetype(sizeof(input_event))) {
            input_event event;
            std::memcpy(&event, device.pending.constData() + offset, sizeof(event));
            offset += sizeof(event);
            // Value 1 is a press; 0 is a release and 2 an autorepeat.
            if (event.type != EV_KEY || event.value != 1)
                continue;
            if (event.code < BTN_MISC)
                report(Press::keystroke);
            else if (event.code >= BTN_LEFT && event.code <= BTN_TASK)
                report(Press::click);
        }
        device.pending.remove(0, offset);
    }
}
