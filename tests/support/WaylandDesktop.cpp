#include "WaylandDesktop.h"

#include "ProgramRun.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The screenshot portal's answer, delivered as a signal on the request object.
class PortalAnswer : public QObject {
    Q_OBJECT
public:
    bool done = false;
    uint code = 2;
    QVariantMap results;
public Q_SLOTS:
    void response(uint responseCode, const QVariantMap &answer)
    {
        done = true;
        code = responseCode;
        results = answer;
    }
};

// The session services a desktop needs, activated on demand like on a real
// desktop; everything else stays off the private bus.
const QStringList sessionServices = {
    u"org.freedesktop.portal.Desktop"_s,
    u"org.freedesktop.impl.portal.PermissionStore"_s,
    u"org.freedesktop.impl.portal.desktop.gnome"_s,
    u"org.freedesktop.impl.portal.desktop.gtk"_s,
    u"org.freedesktop.impl.portal.desktop.kde"_s,
    u"ca.desrt.dconf"_s,
};

QString busConfig(const QString &type, const QString &socketDir, const QString &serviceDir)
{
    QString services;
    if (!serviceDir.isEmpty())
        services = u"<servicedir>%1</servicedir>"_s.arg(serviceDir);
    return uR"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>%1</type>
  <listen>unix:dir=%2</listen>
  <auth>EXTERNAL</auth>
  %3
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
    <allow user="*"/>
  </policy>
</busconfig>
)"_s.arg(type, socketDir, services);
}

// A D-Bus service file whose program starts `delayMs` later: its Exec
// wrapped in a shell that sleeps first, then becomes the program.
QByteArray delayedStart(const QByteArray &serviceFile, int delayMs)
{
    QList<QByteArray> lines = serviceFile.split('\n');
    for (QByteArray &line : lines) {
        if (line.startsWith("Exec="))
            line = "Exec=/bin/sh -c 'sleep " + QByteArray::number(delayMs / 1000.0, 'f', 3) + "; exec " +
                   line.mid(5).trimmed() + "'";
    }
    return lines.join('\n');
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Every process below `pid`, children before their own children.
QList<qint64> descendants(qint64 pid)
{
    QList<qint64> found;
    const QDir tasks(u"/proc/%1/task"_s.arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task + u"/children"_s));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : file.readAll().split(' ')) {
            bool ok = false;
            const qint64 childPid = child.trimmed().toLongLong(&ok);
            if (ok && !found.contains(childPid))
                found.append(childPid);
        }
    }
    const QList<qint64> direct = found;
    for (qint64 child : direct)
        found.append(descendants(child));
    return found;
}

QStringList commandLine(qint64 pid)
{
    QFile file(u"/proc/%1/cmdline"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList args;
    for (const QByteArray &arg : file.readAll().split('\0'))
        args.append(QString::fromLocal8Bit(arg));
    if (!args.isEmpty() && args.last().isEmpty())
        args.removeLast();
    return args;
}

bool alive(qint64 pid)
{
    // A zombie has exited already; only its parent can reap it.
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

// Stops processes that are not our children by PID: politely, then firmly.
void stopProcesses(const QList<qint64> &pids)
{
    for (qint64 pid : pids)
        ::kill(pid_t(pid), SIGTERM);
    QDeadlineTimer deadline(3000);
    for (qint64 pid : pids) {
        while (alive(pid) && !deadline.hasExpired())
            QThread::msleep(20);
        if (alive(pid))
            ::kill(pid_t(pid), SIGKILL);
    }
}

void stopChild(QProcess *process)
{
    if (process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(3000);
    }
}

} // namespace

WaylandDesktop::WaylandDesktop(Shell shell) : WaylandDesktop(shell, Options{}) {}

WaylandDesktop::WaylandDesktop(Shell shell, const Options &options) : m_shell(shell)
{
    launch(options);
    if (m_hung) {
        // Now and then, on a busy machine, the Xwayland that GNOME Shell
        // starts cannot connect back ("could not connect to wayland server")
        // and the shell then waits for it for good. Such a session is of no
        // use; a new one, once, with the reason in the test's output.
        const QStringList log = compositorLog().trimmed().split(u'\n');
        qWarning("gnome-shell hung while starting (its folder stays: %s); starting a new session. The end of "
                 "its log:\n%s",
                 qPrintable(m_dir->path()), qPrintable(log.mid(std::max<qsizetype>(0, log.size() - 3)).join(u'\n')));
        stop();
        m_dir = std::make_unique<QTemporaryDir>();
        m_failure.clear();
        m_hung = false;
        m_environment = {};
        m_waylandDisplay.clear();
        m_display.clear();
        m_sessionBus.clear();
        m_systemBus.clear();
        launch(options);
    }
    if (!m_failure.isEmpty())
        stop();
}

WaylandDesktop::~WaylandDesktop()
{
    leave();
    stop();
}

QString WaylandDesktop::home() const
{
    return m_dir->path() + u"/home"_s;
}

QProcess *WaylandDesktop::spawn(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                                const QString &logName)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    if (!logName.isEmpty()) {
        process->setStandardOutputFile(m_dir->filePath(logName));
        process->setStandardErrorFile(m_dir->filePath(logName));
    }
    process->start(program, args);
    if (!process->waitForStarted(10000))
        return nullptr;
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

bool WaylandDesktop::startBus(const QString &type, QByteArray *address, const Options &options)
{
    const QString socketDir = m_dir->filePath(u"bus-"_s + type);
    QDir().mkpath(socketDir);
    QString serviceDir;
    if (type == "session"_L1) {
        serviceDir = m_dir->filePath(u"services"_s);
        QDir().mkpath(serviceDir);
        for (const QString &name : sessionServices) {
            QFile file(u"/usr/share/dbus-1/services/"_s + name + u".service"_s);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            QByteArray content = file.readAll();
            if (const int delay = options.serviceStartDelays.value(name); delay > 0)
                content = delayedStart(content, delay);
            writeFile(serviceDir + u'/' + name + u".service"_s, content);
        }
    }
    const QString config = m_dir->filePath(type + u"-bus.conf"_s);
    if (!writeFile(config, busConfig(type, socketDir, serviceDir).toUtf8()))
        return false;
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(m_environment);
    process->setStandardErrorFile(m_dir->filePath(type + u"-bus.log"_s));
    process->start(u"dbus-daemon"_s, {u"--nofork"_s, u"--config-file="_s + config, u"--print-address=1"_s});
    if (!process->waitForStarted(5000) || !process->waitForReadyRead(10000))
        return false;
    *address = process->readLine().trimmed();
    m_processes.push_back(std::move(process));
    return !address->isEmpty();
}

bool WaylandDesktop::waitForName(const QString &name, int timeoutMs)
{
    const QString connectionName = u"wayland-desktop-"_s + QUuid::createUuid().toString(QUuid::Id128);
    bool found = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(m_sessionBus), connectionName);
        found = bus.isConnected() && TestEnv::waitFor(
                                         [&] {
                                             return m_compositor->state() == QProcess::Running &&
                                                    bus.interface()->isServiceRegistered(name).value();
                                         },
                                         timeoutMs);
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return found;
}

bool WaylandDesktop::findXwayland(qint64 compositor, int timeoutMs)
{
    return TestEnv::waitFor(
        [&] {
            for (qint64 pid : descendants(compositor)) {
                const QStringList args = commandLine(pid);
                if (args.isEmpty() || QFileInfo(args.first()).fileName() != "Xwayland"_L1)
                    continue;
                for (qsizetype i = 1; i < args.size(); ++i) {
                    if (args[i].startsWith(u':'))
                        m_display = args[i].toLocal8Bit();
                    if (args[i] == "-auth"_L1 && i + 1 < args.size())
                        m_environment.insert(u"XAUTHORITY"_s, args[i + 1]);
                }
                // The socket appears once Xwayland listens.
                return !m_display.isEmpty() &&
                       QFileInfo::exists(u"/tmp/.X11-unix/X"_s + QString::fromLatin1(m_display.mid(1)));
            }
            return false;
        },
        timeoutMs);
}

void WaylandDesktop::launch(const Options &options)
{
    if (!m_dir->isValid()) {
        m_failure = u"no temporary folder"_s;
        return;
    }
    if (qEnvironmentVariableIsSet("ZIMBREL_KEEP_DESKTOP")) {
        m_dir->setAutoRemove(false);
        qInfo("the desktop's folder and logs stay in %s", qPrintable(m_dir->path()));
    }
    const QString program = m_shell == Shell::Gnome ? u"gnome-shell"_s : u"kwin_wayland"_s;
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        m_failure = program + u" is not installed"_s;
        return;
    }

    m_environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS",
                             "DBUS_SYSTEM_BUS_ADDRESS", "SESSION_MANAGER", "DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"})
        m_environment.remove(QString::fromLatin1(name));
    const QString root = m_dir->path();
    const QStringList folders = {u"HOME"_s,          u"XDG_CONFIG_HOME"_s, u"XDG_DATA_HOME"_s,
                                 u"XDG_STATE_HOME"_s, u"XDG_CACHE_HOME"_s,  u"XDG_RUNTIME_DIR"_s};
    const QStringList names = {u"home"_s, u"config"_s, u"data"_s, u"state"_s, u"cache"_s, u"runtime"_s};
    for (qsizetype i = 0; i < folders.size(); ++i) {
        QDir().mkpath(root + u'/' + names[i]);
        m_environment.insert(folders[i], root + u'/' + names[i]);
    }
    ::chmod(QFile::encodeName(root + u"/runtime"_s).constData(), 0700);
    m_environment.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    m_environment.insert(u"NO_AT_BRIDGE"_s, u"1"_s);
    if (m_shell == Shell::Gnome) {
        m_environment.insert(u"XDG_CURRENT_DESKTOP"_s, u"GNOME"_s);
        m_environment.insert(u"XDG_SESSION_DESKTOP"_s, u"gnome"_s);
    } else {
        m_environment.insert(u"XDG_CURRENT_DESKTOP"_s, u"KDE"_s);
        m_environment.insert(u"XDG_SESSION_DESKTOP"_s, u"KDE"_s);
        m_environment.insert(u"KDE_FULL_SESSION"_s, u"true"_s);
        m_environment.insert(u"KDE_SESSION_VERSION"_s, u"5"_s);
    }
    m_environment.insert(options.environment);

    if (!startBus(u"system"_s, &m_systemBus, options) || !startBus(u"session"_s, &m_sessionBus, options)) {
        m_failure = u"dbus-daemon did not start"_s;
        return;
    }
    m_environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, QString::fromUtf8(m_sessionBus));
    m_environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, QString::fromUtf8(m_systemBus));

    if (!(m_shell == Shell::Gnome ? startGnome(options) : startKWin(options)))
        return;

    m_environment.insert(u"WAYLAND_DISPLAY"_s, QString::fromLocal8Bit(m_waylandDisplay));
    if (!m_display.isEmpty())
        m_environment.insert(u"DISPLAY"_s, QString::fromLocal8Bit(m_display));
    // Services the bus starts from now on (the portals) see the display.
    QStringList update = {u"WAYLAND_DISPLAY"_s, u"XDG_CURRENT_DESKTOP"_s, u"XDG_SESSION_TYPE"_s,
                          u"XDG_SESSION_DESKTOP"_s};
    if (!m_display.isEmpty())
        update += {u"DISPLAY"_s, u"XAUTHORITY"_s};
    if (m_shell == Shell::KWin)
        update += {u"KDE_FULL_SESSION"_s, u"KDE_SESSION_VERSION"_s};
    ProgramRun::Options run;
    run.environment = m_environment;
    run.timeoutMs = 10000;
    if (ProgramRun::run(u"dbus-update-activation-environment"_s, update, run).exitCode != 0)
        m_failure = u"dbus-update-activation-environment failed"_s;
}

bool WaylandDesktop::startGnome(const Options &options)
{
    // Mutter only starts Xwayland when the X socket folder has the usual mode;
    // some X servers leave it without write bits for others.
    struct stat info {};
    if (::stat("/tmp/.X11-unix", &info) == 0 && (info.st_mode & 01777) != 01777 &&
        (info.st_uid == ::getuid() || ::getuid() == 0))
        ::chmod("/tmp/.X11-unix", 01777);

    if (!options.extensionsFolder.isEmpty()) {
        const QString target = m_environment.value(u"XDG_DATA_HOME"_s) + u"/gnome-shell/extensions"_s;
        QDir().mkpath(target);
        const QDir source(options.extensionsFolder);
        for (const QString &uuid : source.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            QFile::link(source.absoluteFilePath(uuid), target + u'/' + uuid);
    }
    QStringList quoted;
    for (const QString &uuid : options.extensions)
        quoted.append(u"'"_s + uuid + u"'"_s);
    ProgramRun::Options run;
    run.environment = m_environment;
    run.timeoutMs = 15000;
    const QList<QStringList> settings = {
        {u"org.gnome.shell"_s, u"enabled-extensions"_s, u"["_s + quoted.join(u", "_s) + u"]"_s},
        {u"org.gnome.shell"_s, u"disable-user-extensions"_s, u"false"_s},
        {u"org.gnome.shell"_s, u"disable-extension-version-validation"_s, u"true"_s},
        // A lock screen or a blank screen would cover every window.
        {u"org.gnome.desktop.screensaver"_s, u"lock-enabled"_s, u"false"_s},
        {u"org.gnome.desktop.session"_s, u"idle-delay"_s, u"uint32 0"_s},
    };
    for (const QStringList &setting : settings) {
        const ProgramRun result = ProgramRun::run(u"gsettings"_s, QStringList{u"set"_s} + setting, run);
        if (result.exitCode != 0) {
            m_failure = u"gsettings set %1 failed: %2"_s.arg(setting.join(u' '), result.err.trimmed());
            return false;
        }
    }

    m_compositor = spawn(u"gnome-shell"_s,
                         {u"--headless"_s, u"--wayland"_s, u"--virtual-monitor"_s,
                          u"%1x%2"_s.arg(options.size.width()).arg(options.size.height())},
                         m_environment, u"gnome-shell.log"_s);
    if (!m_compositor) {
        m_failure = u"gnome-shell did not start"_s;
        return false;
    }
    if (!waitForSocket(30000) || !waitForName(u"org.gnome.Shell"_s, 30000)) {
        m_failure = u"gnome-shell did not come up (see its log in %1)"_s.arg(m_dir->path());
        m_dir->setAutoRemove(false);
        return false;
    }
    if (!findXwayland(m_compositor->processId(), 15000))
        m_display.clear();
    // The shell takes its bus name early; it has finished starting (its X
    // display up, the session as a member finds it after logging in) when it
    // logs so. Under load that took up to 15 s here.
    const bool started = TestEnv::waitFor(
        [&] {
            return m_compositor->state() != QProcess::Running ||
                   compositorLog().contains(u"GNOME Shell started at"_s);
        },
        40000);
    if (!started || m_compositor->state() != QProcess::Running) {
        m_failure = u"gnome-shell did not finish starting (see its log in %1)"_s.arg(m_dir->path());
        m_dir->setAutoRemove(false);
        m_hung = !started;
        return false;
    }
    return true;
}

bool WaylandDesktop::startKWin(const Options &options)
{
    // The packaged binary carries a file capability that some sandboxes
    // refuse to execute; a plain copy (still named kwin_wayland, which KWin
    // checks) runs everywhere.
    const QString bin = m_dir->filePath(u"bin"_s);
    QDir().mkpath(bin);
    const QString kwin = bin + u"/kwin_wayland"_s;
    if (!QFile::copy(QStandardPaths::findExecutable(u"kwin_wayland"_s), kwin) ||
        !QFile::setPermissions(kwin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)) {
        m_failure = u"kwin_wayland could not be copied"_s;
        return false;
    }
    // KWin lets a program use its screenshot interface when an installed
    // desktop entry whose Exec is that program says so: one for this test
    // program, so screenshot() can look at the screen.
    const QString applications = m_environment.value(u"XDG_DATA_HOME"_s) + u"/applications"_s;
    QDir().mkpath(applications);
    writeFile(applications + u"/zimbrel-test-screenshots.desktop"_s,
              u"[Desktop Entry]\nType=Application\nName=Test screenshots\nNoDisplay=true\nExec=%1\n"
              "X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n"_s
                  .arg(QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath())
                  .toUtf8());
    const QProcessEnvironment env = m_environment;
    m_compositor = spawn(kwin,
                         {u"--virtual"_s, u"--width"_s, QString::number(options.size.width()), u"--height"_s,
                          QString::number(options.size.height()), u"--xwayland"_s, u"--no-global-shortcuts"_s,
                          u"--no-lockscreen"_s},
                         env, u"kwin.log"_s);
    if (!m_compositor) {
        m_failure = u"kwin_wayland did not start"_s;
        return false;
    }
    if (!waitForSocket(30000) || !waitForName(u"org.kde.KWin"_s, 30000)) {
        m_failure = u"kwin_wayland did not come up (see its log in %1)"_s.arg(m_dir->path());
        m_dir->setAutoRemove(false);
        return false;
    }
    if (!findXwayland(m_compositor->processId(), 15000))
        m_display.clear();
    return true;
}

bool WaylandDesktop::waitForSocket(int timeoutMs)
{
    const QDir runtime(m_environment.value(u"XDG_RUNTIME_DIR"_s));
    return TestEnv::waitFor(
        [&] {
            if (m_compositor->state() != QProcess::Running)
                return false;
            for (const QFileInfo &entry : runtime.entryInfoList({u"wayland-*"_s}, QDir::System | QDir::Files)) {
                if (!entry.fileName().endsWith(u".lock"_s)) {
                    m_waylandDisplay = entry.fileName().toLocal8Bit();
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
}

QProcess *WaylandDesktop::start(const QString &program, const QStringList &args, const QProcessEnvironment &extra)
{
    if (!isRunning())
        return nullptr;
    QProcessEnvironment env = m_environment;
    env.insert(extra);
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->start(program, args);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void WaylandDesktop::enter()
{
    if (m_entered || !isRunning())
        return;
    m_entered = true;
    const QProcessEnvironment current = QProcessEnvironment::systemEnvironment();
    QStringList names = m_environment.keys() + current.keys();
    names.removeDuplicates();
    for (const QString &name : names) {
        // This process's Qt already runs on its platform and display.
        if (name == "QT_QPA_PLATFORM"_L1)
            continue;
        if ((name == "DISPLAY"_L1 || name == "XAUTHORITY"_L1) && current.contains(u"DISPLAY"_s))
            continue;
        if (current.contains(name) == m_environment.contains(name) && current.value(name) == m_environment.value(name))
            continue;
        Saved saved{name, std::nullopt};
        if (current.contains(name))
            saved.value = current.value(name).toLocal8Bit();
        m_saved.push_back(saved);
        if (m_environment.contains(name))
            qputenv(name.toLocal8Bit().constData(), m_environment.value(name).toLocal8Bit());
        else
            qunsetenv(name.toLocal8Bit().constData());
    }
}

void WaylandDesktop::leave()
{
    if (!m_entered)
        return;
    m_entered = false;
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->value)
            qputenv(it->name.toLocal8Bit().constData(), *it->value);
        else
            qunsetenv(it->name.toLocal8Bit().constData());
    }
    m_saved.clear();
}

std::optional<QString> WaylandDesktop::call(const QString &service, const QString &path, const QString &method,
                                            const QStringList &args, int timeoutMs) const
{
    if (m_sessionBus.isEmpty())
        return std::nullopt;
    ProgramRun::Options run;
    run.environment = m_environment;
    run.timeoutMs = timeoutMs + 2000;
    const ProgramRun result = ProgramRun::run(
        u"gdbus"_s,
        QStringList{u"call"_s, u"--session"_s, u"--timeout"_s, QString::number((timeoutMs + 999) / 1000), u"--dest"_s,
                    service, u"--object-path"_s, path, u"--method"_s, method} +
            args,
        run);
    if (result.exitCode != 0)
        return std::nullopt;
    return result.out.trimmed();
}

bool WaylandDesktop::setPermission(const QString &table, const QString &id, const QString &app,
                                   const QStringList &values) const
{
    QStringList quoted;
    for (const QString &value : values)
        quoted.append(u"'"_s + value + u"'"_s);
    return call(u"org.freedesktop.impl.portal.PermissionStore"_s, u"/org/freedesktop/impl/portal/PermissionStore"_s,
                u"org.freedesktop.impl.portal.PermissionStore.SetPermission"_s,
                {table, u"true"_s, id, app, u"@as ["_s + quoted.join(u", "_s) + u"]"_s})
        .has_value();
}

bool WaylandDesktop::deletePermissionTable(const QString &table, const QString &id) const
{
    return call(u"org.freedesktop.impl.portal.PermissionStore"_s, u"/org/freedesktop/impl/portal/PermissionStore"_s,
                u"org.freedesktop.impl.portal.PermissionStore.Delete"_s, {table, id})
        .has_value();
}

QString WaylandDesktop::compositorLog() const
{
    QFile log(m_dir->filePath(m_shell == Shell::Gnome ? u"gnome-shell.log"_s : u"kwin.log"_s));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

std::optional<QStringList> WaylandDesktop::runKWinScript(const QString &source, int timeoutMs)
{
    if (!isRunning() || m_shell != Shell::KWin)
        return std::nullopt;
    // KWin prints a script's print() to its log as "js: ...".
    const QString name = u"zimbrel-test-%1-%2"_s.arg(::getpid()).arg(++m_scripts);
    const QString tag = name + u":"_s;
    const QString file = m_dir->filePath(name + u".js"_s);
    const QString script = u"function report() { print(\"%1\" + Array.prototype.slice.call(arguments).join(\"\\t\")); }\n"
                           "try {\n%2\n} finally { print(\"%1done\"); }\n"_s.arg(tag, source);
    if (!writeFile(file, script.toUtf8()))
        return std::nullopt;
    const QString kwin = u"org.kde.KWin"_s;
    // "(N,)", or "(-1,)" when refused. KWin 5.27 numbers a script by how many
    // are loaded, so once another went, N can be the number, and /N the D-Bus
    // object, of a script still loaded (the program's focus script): run on
    // /N would run that one. Scripting.start runs every loaded script that is
    // not running yet, ours whatever its number.
    const std::optional<QString> loaded =
        call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.loadScript"_s, {file, name});
    if (!loaded || loaded->contains(u'-'))
        return std::nullopt;
    if (!call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.start"_s)) {
        call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.unloadScript"_s, {name});
        return std::nullopt;
    }
    QStringList lines;
    const bool done = TestEnv::waitFor(
        [&] {
            lines.clear();
            for (const QString &line : compositorLog().split(u'\n')) {
                const qsizetype at = line.indexOf(tag);
                if (at < 0)
                    continue;
                const QString rest = line.mid(at + tag.size());
                if (rest == "done"_L1)
                    return true;
                lines.append(rest);
            }
            return false;
        },
        timeoutMs);
    call(kwin, u"/Scripting"_s, u"org.kde.kwin.Scripting.unloadScript"_s, {name});
    if (!done)
        return std::nullopt;
    return lines;
}

QImage WaylandDesktop::screenshot()
{
    if (!isRunning())
        return {};
    const QString connectionName = u"wayland-desktop-shot-"_s + QUuid::createUuid().toString(QUuid::Id128);
    QImage image;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(m_sessionBus), connectionName);
        if (m_shell == Shell::KWin) {
            int fds[2];
            if (bus.isConnected() && ::pipe2(fds, O_CLOEXEC) == 0) {
                QDBusMessage message = QDBusMessage::createMethodCall(
                    u"org.kde.KWin"_s, u"/org/kde/KWin/ScreenShot2"_s, u"org.kde.KWin.ScreenShot2"_s,
                    u"CaptureActiveScreen"_s);
                message.setArguments({QVariantMap{}, QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
                ::close(fds[1]);
                const QDBusReply<QVariantMap> reply = bus.call(message, QDBus::Block, 15000);
                QByteArray data;
                if (reply.isValid()) {
                    // KWin writes the picture after the next frame; bounded,
                    // in case no frame comes.
                    QDeadlineTimer deadline(10000);
                    pollfd readable{fds[0], POLLIN, 0};
                    char buffer[65536];
                    while (!deadline.hasExpired() && ::poll(&readable, 1, int(deadline.remainingTime())) > 0) {
                        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
                        if (n <= 0)
                            break;
                        data.append(buffer, n);
                    }
                }
                ::close(fds[0]);
                if (!reply.isValid())
                    qWarning("KWin screenshot failed: %s", qPrintable(reply.error().message()));
                if (reply.isValid()) {
                    const QVariantMap info = reply.value();
                    const int width = info.value(u"width"_s).toInt();
                    const int height = info.value(u"height"_s).toInt();
                    const int stride = info.value(u"stride"_s).toInt();
                    const auto format = QImage::Format(info.value(u"format"_s).toInt());
                    if (width > 0 && height > 0 && data.size() >= qsizetype(stride) * height)
                        image = QImage(reinterpret_cast<const uchar *>(data.constData()), width, height, stride,
                                       format)
                                    .copy();
                }
            }
        } else if (bus.isConnected() && setPermission(u"screenshot"_s, u"screenshot"_s, {}, {u"yes"_s})) {
            const QString token = u"desktop"_s + QUuid::createUuid().toString(QUuid::Id128);
            const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
            const QString request = u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' + token;
            PortalAnswer answer;
            bus.connect(u"org.freedesktop.portal.Desktop"_s, request, u"org.freedesktop.portal.Request"_s,
                        u"Response"_s, &answer, SLOT(response(uint, QVariantMap)));
            QDBusMessage message =
                QDBusMessage::createMethodCall(u"org.freedesktop.portal.Desktop"_s, u"/org/freedesktop/portal/desktop"_s,
                                               u"org.freedesktop.portal.Screenshot"_s, u"Screenshot"_s);
            message.setArguments(
                {QString(), QVariantMap{{u"handle_token"_s, token}, {u"interactive"_s, false}}});
            const QDBusMessage reply = bus.call(message, QDBus::Block, 30000);
            if (reply.type() == QDBusMessage::ReplyMessage && TestEnv::waitFor([&] { return answer.done; }, 20000) &&
                answer.code == 0) {
                const QString file = QUrl(answer.results.value(u"uri"_s).toString()).toLocalFile();
                image = QImage(file);
                QFile::remove(file);
            }
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return image;
}

QList<qint64> WaylandDesktop::processIds() const
{
    QList<qint64> pids;
    for (const auto &process : m_processes) {
        if (process->state() == QProcess::NotRunning)
            continue;
        pids.append(process->processId());
        for (qint64 pid : descendants(process->processId())) {
            if (alive(pid))
                pids.append(pid);
        }
    }
    return pids;
}

void WaylandDesktop::stop()
{
    if (m_processes.empty())
        return;
    // Everything below our children, found now: once a parent is gone its
    // children can no longer be told from other processes.
    QList<qint64> grandchildren;
    for (const auto &process : m_processes) {
        if (process->state() != QProcess::NotRunning)
            grandchildren.append(descendants(process->processId()));
    }
    // Programs of the session first, then the compositor, then the buses.
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        if (it->get() != m_compositor && !(*it)->program().endsWith(u"dbus-daemon"_s))
            stopChild(it->get());
    }
    if (m_compositor)
        stopChild(m_compositor);
    QList<qint64> left;
    for (qint64 pid : grandchildren) {
        if (alive(pid))
            left.append(pid);
    }
    stopProcesses(left);
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it)
        stopChild(it->get());
    m_processes.clear();
    m_compositor = nullptr;
}

#include "WaylandDesktop.moc"
