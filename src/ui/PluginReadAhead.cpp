#include "PluginReadAhead.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QLibraryInfo>

using namespace Qt::StringLiterals;

PluginReadAhead::PluginReadAhead(QStringList modules)
    : m_worker([modules = std::move(modules)] {
          for (const QString &module : modules) {
              const QString plugin = pluginOf(module);
              // One that fails here fails again in the import, which says why.
              if (!plugin.isEmpty())
                  QLibrary(plugin).load();
          }
      })
{
}

QString PluginReadAhead::pluginOf(const QString &module)
{
    const QDir dir(QLibraryInfo::path(QLibraryInfo::QmlImportsPath) + u'/' + QString(module).replace(u'.', u'/'));
    QFile qmldir(dir.filePath(u"qmldir"_s));
    if (!qmldir.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    // "[optional] plugin NAME [PATH]"
    while (!qmldir.atEnd()) {
        QStringList words = QString::fromUtf8(qmldir.readLine()).simplified().split(u' ', Qt::SkipEmptyParts);
        if (!words.isEmpty() && words.first() == "optional"_L1)
            words.removeFirst();
        if (words.size() >= 2 && words.first() == "plugin"_L1)
            return QDir(words.size() >= 3 ? dir.filePath(words.at(2)) : dir.path()).filePath("lib"_L1 + words.at(1) + ".so"_L1);
    }
    return {};
}
