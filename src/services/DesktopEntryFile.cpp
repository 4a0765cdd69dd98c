#include "DesktopEntryFile.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace DesktopEntryFile {

std::optional<QHash<QString, QString>> read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QHash<QString, QString> keys;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMain = line == "[Desktop Entry]"_L1;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inMain || eq <= 0 || line.startsWith(u'#'))
            continue;
        // The first occurrence of a key wins, as desktop readers do.
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(eq + 1).trimmed());
    }
    return keys;
}

} // namespace DesktopEntryFile
