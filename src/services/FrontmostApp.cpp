#include "FrontmostApp.h"

#include "DesktopEntryFile.h"

#include "XConnection.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStandardPaths>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace Qt::StringLiterals;

namespace {

// The one 32-bit item of a window property, or nullopt.
std::optional<unsigned long> cardinalProperty(Display *dpy, Window window, const char *name, Atom type)
{
    const Atom property = XInternAtom(dpy, name, True);
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

struct ActiveWindow {
    QString windowClass;
    qint64 pid = 0;
};

std::optional<ActiveWindow> activeWindow()
{
    XConnection *connection = XConnection::session();
    if (!connection)
        return std::nullopt;
    Display *dpy = connection->display();
    // The window may vanish between the calls: the trap turns that into "no answer".
    XConnection::ErrorTrap trap(*connection);
    const std::optional<unsigned long> window =
        cardinalProperty(dpy, DefaultRootWindow(dpy), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (!window || *window == None || trap.failed())
        return std::nullopt;
    ActiveWindow active;
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(dpy, *window, &hint)) {
        if (hint.res_class)
            active.windowClass = QString::fromLocal8Bit(hint.res_class).trimmed();
        if (active.windowClass.isEmpty() && hint.res_name)
            active.windowClass = QString::fromLocal8Bit(hint.res_name).trimmed();
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    if (const std::optional<unsigned long> pid = cardinalProperty(dpy, *window, "_NET_WM_PID", XA_CARDINAL))
        active.pid = qint64(*pid);
    if (trap.failed())
        return std::nullopt;
    return active;
}

QString processName(qint64 pid)
{
    if (pid <= 0)
        return {};
    QFile comm(u"/proc/%1/comm"_s.arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

struct DesktopEntry {
    QString name;
    QString wmClass;
    bool hidden = false;
};

// The [Desktop Entry] group's name (localised where possible) and window class.
DesktopEntry readEntry(const QString &path)
{
    DesktopEntry entry;
    const auto keys = DesktopEntryFile::read(path);
    if (!keys)
        return entry;
    const QString locale = QLocale::system().name();     // "de_AT"
    const QString language = locale.section(u'_', 0, 0); // "de"
    const QString forLocale = keys->value(u"Name[%1]"_s.arg(locale));
    const QString forLanguage = keys->value(u"Name[%1]"_s.arg(language));
    entry.name = !forLocale.isEmpty() ? forLocale : !forLanguage.isEmpty() ? forLanguage : keys->value(u"Name"_s);
    entry.wmClass = keys->value(u"StartupWMClass"_s);
    entry.hidden = keys->value(u"Hidden"_s) == "true"_L1;
    return entry;
}

QString lookUpEntryName(const QString &windowClass)
{
    QString byFileName;
    for (const QString &folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator it(folder, {u"*.desktop"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString base = it.fileInfo().completeBaseName();
            const bool nameMatches = base.compare(windowClass, Qt::CaseInsensitive) == 0
                                     || base.section(u'.', -1).compare(windowClass, Qt::CaseInsensitive) == 0;
            const DesktopEntry entry = readEntry(path);
            if (entry.hidden || entry.name.isEmpty())
                continue;
            // The declared window class is the surer match; a file name only
            // counts when no entry declares the class.
            if (!entry.wmClass.isEmpty() && entry.wmClass.compare(windowClass, Qt::CaseInsensitive) == 0)
                return entry.name;
            if (nameMatches && byFileName.isEmpty())
                byFileName = entry.name;
        }
    }
    return byFileName;
}

} // namespace

namespace FrontmostApp {

QString desktopEntryName(const QString &windowClass)
{
    if (windowClass.isEmpty())
        return {};
    // Asked every second with the same few classes: remember the answers, per
    // set of data folders so a changed XDG_DATA_HOME is followed.
    static QHash<QString, QString> cache;
    const QString key =
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation).join(u':') + u'\n' + windowClass;
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    const QString name = lookUpEntryName(windowClass);
    cache.insert(key, name);
    return name;
}

QString name()
{
    const std::optional<ActiveWindow> active = activeWindow();
    if (!active)
        return QString::fromLatin1(unknown);
    if (const QString entry = desktopEntryName(active->windowClass); !entry.isEmpty())
        return entry;
    if (!active->windowClass.isEmpty())
        return active->windowClass;
    if (const QString process = processName(active->pid); !process.isEmpty())
        return process;
    return QString::fromLatin1(unknown);
}

} // namespace FrontmostApp
