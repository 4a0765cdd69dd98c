#include "FrontmostApp.h"

#include "DesktopEntryFile.h"

#include "WaylandFocus.h"
#include "XActiveWindow.h"
#include "XConnection.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

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

QString nameFor(const FocusedWindow &window)
{
    // The class first, as on X11: a desktop may attribute a window to the
    // program that started it (a terminal's entry for a classed xterm).
    if (const QString entry = desktopEntryName(window.wmClass); !entry.isEmpty())
        return entry;
    if (window.appId.compare(window.wmClass, Qt::CaseInsensitive) != 0) {
        if (const QString entry = desktopEntryName(window.appId); !entry.isEmpty())
            return entry;
    }
    if (!window.wmClass.isEmpty())
        return window.wmClass;
    if (!window.appId.isEmpty())
        return window.appId;
    if (const QString process = processName(window.pid); !process.isEmpty())
        return process;
    return QString::fromLatin1(unknown);
}

void follow()
{
    if (!XConnection::x11Session())
        WaylandFocus::instance();
}

QString name()
{
    const std::optional<FocusedWindow> active =
        XConnection::x11Session() ? XActiveWindow::current() : WaylandFocus::instance().current();
    return active ? nameFor(*active) : QString::fromLatin1(unknown);
}

} // namespace FrontmostApp
