#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>

// Shared test helpers: private XDG folders and waiting on the event loop.
namespace TestEnv {

// Points XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME at fresh folders
// for its lifetime, so a test never touches real files or another test's.
class IsolatedHome {
public:
    IsolatedHome();
    ~IsolatedHome();
    QString path() const { return m_dir.path(); }
    QString config() const { return m_dir.path() + QStringLiteral("/config"); }
    QString data() const { return m_dir.path() + QStringLiteral("/data"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_saved[3];
};

// Runs the event loop until `done` returns true or `timeoutMs` passes.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000);

// Path of a file in the build tree, such as "src/controls/zimbrel-control".
QString buildPath(const QString &relative);
QString sourcePath(const QString &relative);

} // namespace TestEnv
