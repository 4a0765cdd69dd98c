#include "IconSet.h"

#include "TrackingLog.h"

#include <QFile>

using namespace Qt::StringLiterals;

QString IconSet::resourceName(const QString &name, bool solid)
{
    return (solid && isSolidCapable(name) ? u"solid."_s : u"line."_s) + name;
}

bool IconSet::isSolidCapable(const QString &name)
{
    return solidCapable().contains(name);
}

const QStringList &IconSet::solidCapable()
{
    static const QStringList names = {
        u"blank-calendar"_s,   u"camera-video"_s,      u"check-square"_s,       u"cog"_s,
        u"dashboard-3"_s,      u"graph-bar-increase-square"_s, u"keyboard"_s,   u"left-click"_s,
        u"magic-wand-2"_s,     u"mail-send-envelope"_s, u"new-folder"_s,        u"pencil-square"_s,
        u"stopwatch"_s,        u"user-circle-single"_s, u"warning-diamond"_s,
    };
    return names;
}

const QStringList &IconSet::interfaceNames()
{
    static const QStringList names = solidCapable() + QStringList{
        u"invisible-1"_s, u"padlock-square-1"_s,   u"checkmark"_s,
        u"chevron-up-chevron-down"_s, u"iris-scan"_s, u"wave-signal-circle"_s,
    };
    return names;
}

QString IconSet::filePath(const QString &resource)
{
    return QLatin1StringView(folder) + resource + u".svg"_s;
}

QUrl IconSet::source(const QString &name, bool solid, const QColor &color, qreal size)
{
    if (name.isEmpty())
        return {};
    const QString resource = resourceName(name, solid);
    if (!QFile::exists(filePath(resource))) {
        qCWarning(lcTracking) << "No icon named" << name;
        return {};
    }
    if (!(size > 0)) {
        qCWarning(lcTracking) << "Icon" << name << "asked at size" << size << "- drawing nothing";
        return {};
    }
    const QColor tint = color.isValid() ? color : QColor(Qt::black);
    // The colour travels in the id (no '#', which would start a fragment).
    return QUrl(u"image://icon/"_s + resource + u'/' + tint.name(QColor::HexArgb).mid(1));
}
