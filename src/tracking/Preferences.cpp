#include "Preferences.h"

#include <QSettings>
#include <QStandardPaths>

namespace Preferences {

QString path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/zimbrel/zimbrel.conf");
}

QVariant value(const QString &key, const QVariant &fallback)
{
    QSettings settings(path(), QSettings::IniFormat);
    return settings.value(key, fallback);
}

bool contains(const QString &key)
{
    QSettings settings(path(), QSettings::IniFormat);
    return settings.contains(key);
}

void setValue(const QString &key, const QVariant &value)
{
    QSettings settings(path(), QSettings::IniFormat);
    settings.setValue(key, value);
}

void remove(const QString &key)
{
    QSettings settings(path(), QSettings::IniFormat);
    settings.remove(key);
}

} // namespace Preferences
