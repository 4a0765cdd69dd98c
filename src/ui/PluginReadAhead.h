#pragma once

#include <QStringList>

#include <thread>

// Loads the shared libraries of QML modules on a worker thread while the
// program goes on starting, so that the QML loader finds them in memory
// instead of mapping and linking them while the window waits for its
// components. Each module's qmldir names its plugin; a module without one,
// or one that is not installed, is skipped. Destroying it waits for the
// worker. The libraries stay loaded, as Qt keeps QML plugins anyway.
class PluginReadAhead
{
public:
    explicit PluginReadAhead(QStringList modules);

    // The file of the plugin library a module's qmldir names; empty when
    // there is none.
    static QString pluginOf(const QString &module);

private:
    std::jthread m_worker;
};
