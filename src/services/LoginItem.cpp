#include "LoginItem.h"

#include "DesktopEntryFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// The installed program, else this one when it is the app, else a PATH lookup.
QString programPath()
{
    const QString installed = LoginItem::installedProgram();
    if (QFileInfo(installed).isExecutable())
        return installed;
    if (QCoreApplication::instance()) {
        const QString self = QCoreApplication::applicationFilePath();
        if (QFileInfo(self).fileName() == "zimbrel"_L1)
            return self;
    }
    return u"zimbrel"_s;
}

bool write()
{
    const QString path = LoginItem::entryPath();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Name=Zimbrel\n"
                          u"Comment=Time tracker\n"
                          u"Exec=%1 --tray\n"
                          u"Icon=zimbrel\n"
                          u"Terminal=false\n"
                          u"X-GNOME-Autostart-enabled=true\n"_s.arg(LoginItem::execArgument(programPath()));
    file.write(entry.toUtf8());
    return file.commit();
}

bool erase()
{
    QFile file(LoginItem::entryPath());
    QFileInfo info(file);
    if (!info.exists() && !info.isSymLink())
        return true;
    return file.remove();
}

} // namespace

namespace LoginItem {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/autostart/zimbrel.desktop"_s;
}

QString installedProgram()
{
    return QStringLiteral(ZIMBREL_INSTALL_BINDIR "/zimbrel");
}

// Quoted only when it holds characters the launcher would otherwise split or
// expand; '%' is always doubled.
QString execArgument(const QString &program)
{
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    bool needsQuotes = false;
    for (QChar c : program)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString escaped = program;
    escaped.replace(u'%', u"%%"_s);
    if (!needsQuotes)
        return escaped;
    QString quoted;
    for (QChar c : escaped) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    // String values get their own backslash escaping on top of the quoting.
    quoted.replace(u'\\', u"\\\\"_s);
    // A line break written as is would end the Exec line and start another key.
    quoted.replace(u'\n', u"\\n"_s).replace(u'\r', u"\\r"_s).replace(u'\t', u"\\t"_s);
    return u'"' + quoted + u'"';
}

std::optional<QString> set(bool on)
{
    if (on ? write() : erase())
        return std::nullopt;
    return QString::fromUtf8(failureMessage);
}

bool enabled()
{
    const auto keys = DesktopEntryFile::read(entryPath());
    return keys && keys->value(u"Hidden"_s) != "true"_L1 && keys->value(u"X-GNOME-Autostart-enabled"_s) != "false"_L1;
}

} // namespace LoginItem
