#pragma once

#include <QHash>
#include <QString>

#include <optional>

// The keys of a .desktop file's [Desktop Entry] group, localised keys such as
// "Name[de]" included as they are written. Nothing when the file cannot be read.
namespace DesktopEntryFile {
std::optional<QHash<QString, QString>> read(const QString &path);
} // namespace DesktopEntryFile
