#include "KWinFocusScript.h"

#include "SessionBus.h"
#include "TrackingLog.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr auto kwin = "org.kde.KWin";
constexpr auto scripting = "org.kde.kwin.Scripting";

// Plasma 5 hands window classes over as byte arrays, Plasma 6 as strings;
// the title is never touched. %1 is our connection's unique name.
constexpr auto scriptText = R"JS((function () {
    function text(value) {
        if (value === undefined || value === null)
            return "";
        if (typeof value === "string")
            return value;
        if (value instanceof ArrayBuffer) {
            var bytes = new Uint8Array(value), out = "";
            for (var i = 0; i < bytes.length; ++i)
                out += String.fromCharCode(bytes[i]);
            return out;
        }
        return String(value);
    }
    var last = null;
    function report(window) {
        var wmClass = window ? text(window.resourceClass) : "";
        var appId = window ? text(window.desktopFileName) : "";
        var pid = window ? String(window.pid || 0) : "0";
        var key = wmClass + "\n" + appId + "\n" + pid;
        if (key === last)
            return;
        last = key;
        callDBus("%1", "/com/corvane/native/Focus", "com.corvane.native.Focus", "Report", wmClass, appId, pid);
    }
    if (workspace.windowActivated) {
        workspace.windowActivated.connect(report);
        report(workspace.activeWindow);
    } else {
        workspace.clientActivated.connect(report);
        report(workspace.activeClient);
    }
})();
)JS";

QDBusMessage scriptingCall(const QString &method, const QVariantList &args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kwin), u"/Scripting"_s,
                                                       QString::fromLatin1(scripting), method);
    call.setArguments(args);
    call.setAutoStartService(false);
    return call;
}

// Our object on the bus: every call goes to the script's receiver.
class Receiver : public QDBusVirtualObject {
public:
    explicit Receiver(KWinFocusScript *owner)
        : QDBusVirtualObject(owner)
        , m_owner(owner)
    {
    }
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        return m_owner->handle(message);
    }

private:
    KWinFocusScript *m_owner;
};

} // namespace

KWinFocusScript::KWinFocusScript(QObject *parent)
    : FocusSource(parent)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        return;
    // Asked once without waiting: desktops without KWin simply never answer yes.
    QDBusMessage owner = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                        u"org.freedesktop.DBus"_s, u"GetNameOwner"_s);
    owner.setArguments({QString::fromLatin1(kwin)});
    auto *pending = new QDBusPendingCallWatcher(bus.asyncCall(owner, 2000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        m_kwinOwner = reply.arguments().constFirst().toString();
        load();
    });
}

KWinFocusScript::~KWinFocusScript()
{
    unload();
}

void KWinFocusScript::load()
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.registerVirtualObject(QString::fromLatin1(path), new Receiver(this))) {
        fail(u"the object path is taken"_s);
        return;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    m_file = folder + u"/zimbrel-focus-%1.js"_s.arg(QCoreApplication::applicationPid());
    QFile file(m_file);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(QString::fromLatin1(scriptText).arg(bus.baseService()).toUtf8()) < 0) {
        fail(u"cannot write "_s + m_file);
        return;
    }
    file.close();
    // One left behind by a program that did not get to quit is replaced.
    // KWin lets it go only when back in its event loop, so ours is loaded
    // once the unloading is answered, and again shortly if it was still there.
    auto *pending = new QDBusPendingCallWatcher(
        bus.asyncCall(scriptingCall(u"unloadScript"_s, {QString::fromLatin1(pluginName)}), 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const bool replaced = done->reply().arguments().value(0).toBool();
        loadFile(replaced ? 10 : 0);
    });
}

void KWinFocusScript::loadFile(int retries)
{
    auto *pending = new QDBusPendingCallWatcher(
        SessionBus::connection().asyncCall(scriptingCall(u"loadScript"_s, {m_file, QString::fromLatin1(pluginName)}),
                                           5000),
        this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, retries](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        bool ok = false;
        const int id = reply.arguments().value(0).toInt(&ok);
        if (m_file.isEmpty()) {
            // Unloaded while KWin was loading it.
            if (ok && id >= 0)
                SessionBus::connection().send(scriptingCall(u"unloadScript"_s, {QString::fromLatin1(pluginName)}));
            return;
        }
        if (reply.type() == QDBusMessage::ReplyMessage && ok && id < 0 && retries > 0) {
            QTimer::singleShot(100, this, [this, retries] { loadFile(retries - 1); });
            return;
        }
        if (reply.type() != QDBusMessage::ReplyMessage || !ok || id < 0) {
            fail(reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : u"loadScript refused it"_s);
            return;
        }
        m_loaded = true;
        start(id);
    });
}

void KWinFocusScript::start(int id)
{
    // The script's own object is asked to run first. But KWin 5.27 numbers a
    // script by how many are loaded, so after another script went, ours can
    // get the number, and the D-Bus object, of one still loaded: /<id> then
    // runs that one and not ours. Scripting's start runs every loaded script
    // that is not running yet, whatever its number (as KWin does on each
    // reconfiguration), so it follows. Only when both fail is it a failure.
    m_startsLeft = 2;
    run(id, false);
    auto *pending =
        new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(scriptingCall(u"start"_s, {}), 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        if (done->reply().type() == QDBusMessage::ReplyMessage)
            m_startsLeft = 0;
        else
            startFailed(done->reply().errorMessage());
    });
}

void KWinFocusScript::startFailed(const QString &why)
{
    if (m_startsLeft > 0 && --m_startsLeft == 0)
        fail(why);
}

void KWinFocusScript::run(int id, bool plasma6)
{
    // Plasma 5.27 puts the loaded script at /<id>, Plasma 6 at /Scripting/Script<id>.
    const QString scriptPath = plasma6 ? u"/Scripting/Script%1"_s.arg(id) : u"/%1"_s.arg(id);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kwin), scriptPath, u"org.kde.kwin.Script"_s, u"run"_s);
    call.setAutoStartService(false);
    auto *pending = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(call, 5000), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, id, plasma6](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() == QDBusMessage::ReplyMessage) {
            m_startsLeft = 0;
            return;
        }
        if (!plasma6) {
            run(id, true);
            return;
        }
        startFailed(reply.errorMessage());
    });
}

void KWinFocusScript::unload()
{
    if (m_loaded) {
        m_loaded = false;
        SessionBus::connection().call(scriptingCall(u"unloadScript"_s, {QString::fromLatin1(pluginName)}),
                                      QDBus::Block, 500);
    }
    if (!m_file.isEmpty()) {
        QFile::remove(m_file);
        m_file.clear();
        SessionBus::connection().unregisterObject(QString::fromLatin1(path));
    }
}

void KWinFocusScript::fail(const QString &why)
{
    if (!m_warned) {
        m_warned = true;
        qCWarning(lcTracking) << "focus: KWin did not take our script:" << why;
    }
    unload();
    setGone();
}

bool KWinFocusScript::handle(const QDBusMessage &message)
{
    if (message.interface() != QLatin1StringView(interface) || message.member() != "Report"_L1)
        return false;
    // Only KWin tells us what has focus.
    if (message.service() != m_kwinOwner)
        return false;
    const QVariantList args = message.arguments();
    bool ok = message.signature() == "sss"_L1;
    const qint64 pid = ok ? args.at(2).toString().toLongLong(&ok) : 0;
    if (!ok || pid < 0) {
        if (!m_warned) {
            m_warned = true;
            qCWarning(lcTracking) << "focus: the KWin script sent" << message.signature() << "instead of (sss)";
        }
        SessionBus::connection().send(message.createErrorReply(QDBusError::InvalidArgs, u"expected (sss)"_s));
        setGone();
        return true;
    }
    SessionBus::connection().send(message.createReply());
    setWindow(FocusedWindow{args.at(0).toString().trimmed(), args.at(1).toString().trimmed(), pid});
    return true;
}
