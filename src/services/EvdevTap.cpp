#include "EvdevTap.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <algorithm>
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
    std::unique_ptr<EvdevTap> tap(new EvdevTap(std::move(sink), folder));
    if (tap->openNewDevices() == 0)
        return nullptr;
    // A device node appears, or udev hands it to the input group a moment
    // after creating it: both change the folder.
    tap->m_watcher = new QFileSystemWatcher({folder}, tap.get());
    QObject::connect(tap->m_watcher, &QFileSystemWatcher::directoryChanged, tap.get(),
                     [self = tap.get()] { self->openNewDevices(); });
    return tap;
}

int EvdevTap::openNewDevices()
{
    int added = 0;
    for (const QString &name : eventDevices(m_folder)) {
        const QString path = m_folder + QLatin1Char('/') + name;
        const bool known = std::any_of(m_devices.cbegin(), m_devices.cend(),
                                       [&](const Device &d) { return d.fd >= 0 && d.path == path; });
        if (known)
            continue;
        const int fd = openDevice(path);
        if (fd < 0)
            continue;
        const int index = int(m_devices.size());
        Device device;
        device.path = path;
        device.fd = fd;
        device.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        QObject::connect(device.notifier, &QSocketNotifier::activated, this, [this, index] { readDevice(index); });
        m_devices.append(device);
        ++added;
    }
    return added;
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

EvdevTap::EvdevTap(Sink sink, const QString &folder)
    : InputTap(std::move(sink))
    , m_folder(folder)
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
