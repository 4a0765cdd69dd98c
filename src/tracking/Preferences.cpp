#include "Preferences.h"

#include "PrivateFiles.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace Preferences {

namespace {
// Writes go through here: the folder is made 0700 before QSettings makes the
// file, and the file (and QSettings' lock file) end 0600, whatever the umask.
// The file holds the server address the session token is sent to.
template<typename Change>
void write(Change change)
{
    const QString file = path();
    PrivateFiles::makeFolder(QFileInfo(file).absolutePath());
    {
        QSettings settings(file, QSettings::IniFormat);
        change(settings);
        settings.sync();
    }
    PrivateFiles::restrictFile(file);
    PrivateFiles::restrictFile(file + QStringLiteral(".lock"));
}
} // namespace

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
    write([&](QSettings &settings) { settings.setValue(key, value); });
}

void remove(const QString &key)
{
    write([&](QSettings &settings) { settings.remove(key); });
}

} // namespace Preferences
