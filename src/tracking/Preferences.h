#pragma once

#include <QString>
#include <QVariant>

// The app's standard preferences: $XDG_CONFIG_HOME/zimbrel/zimbrel.conf (INI),
// keys exactly as named elsewhere ("pref.dayGoalHours", "device.id", ...).
// Each call opens the file anew, so a changed XDG_CONFIG_HOME is followed.
// Written 0600 in a 0700 folder whatever the umask.
namespace Preferences {

QString path();
QVariant value(const QString &key, const QVariant &fallback = {});
bool contains(const QString &key);
void setValue(const QString &key, const QVariant &value);
void remove(const QString &key);

} // namespace Preferences
