// The desktop channels for the focused window, fed by stand-ins on the test
// bus and socket where a real desktop cannot misbehave on cue: reports are
// followed, malformed or forged ones become "Unknown" with one log line, and
// a refusing or vanishing desktop never stalls or crashes anything.
#include "GnomeFocus.h"
#include "KWinFocusScript.h"
#include "SwayFocus.h"
#include "TestEnv.h"
#include "WaylandIdle.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Our GNOME Shell extension's interface, answered from the test.
class FakeExtension : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.corvane.native.Focus")
public:
    QString wmClass = u"ProbeTerm"_s;
public Q_SLOTS:
    QString Get(QString &appId, uint &pid)
    {
        appId = u"probe-term"_s;
        pid = 4242;
        return wmClass;
    }
};

// KWin's scripting interface: refuses or takes the script, as told.
class FakeScripting : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
public:
    int answer = -1;
    // A left-behind script KWin has not let go yet: loadScript refuses this many times.
    int leftBehind = 0;
    QString loadedFile;
    int loads = 0;
    int unloads = 0;
public Q_SLOTS:
    int loadScript(const QString &file, const QString &)
    {
        ++loads;
        loadedFile = file;
        return leftBehind > 0 ? (--leftBehind, -1) : answer;
    }
    bool unloadScript(const QString &) { return ++unloads, leftBehind > 0; }
};

class FakeScript : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
public Q_SLOTS:
    void run() {}
};

namespace {

QByteArray swayMessage(quint32 type, const QByteArray &payload)
{
    QByteArray message("i3-ipc");
    const quint32 size = quint32(payload.size());
    message.append(reinterpret_cast<const char *>(&size), 4);
    message.append(reinterpret_cast<const char *>(&type), 4);
    return message + payload;
}

} // namespace

class TestWaylandFocus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gnomeExtension()
    {
        QDBusConnection shell = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-shell"_s);
        FakeExtension extension;
        QVERIFY(shell.registerObject(u"/com/corvane/native/Focus"_s, &extension, QDBusConnection::ExportAllSlots));
        QVERIFY(shell.registerService(u"com.corvane.native.Focus"_s));

        GnomeFocus focus;
        QVERIFY(TestEnv::waitFor([&] { return focus.live() && focus.window(); }));
        QCOMPARE(*focus.window(), (FocusedWindow{u"ProbeTerm"_s, u"probe-term"_s, 4242}));

        const auto emitChanged = [&](const QVariantList &args) {
            QDBusMessage signal = QDBusMessage::createSignal(u"/com/corvane/native/Focus"_s,
                                                             u"com.corvane.native.Focus"_s, u"Changed"_s);
            signal.setArguments(args);
            shell.send(signal);
        };
        emitChanged({u"Files"_s, u"org.gnome.Nautilus"_s, 77u});
        QVERIFY(TestEnv::waitFor([&] { return focus.window() && focus.window()->pid == 77; }));
        // Nothing focused: empty strings and pid 0.
        emitChanged({QString(), QString(), 0u});
        QVERIFY(TestEnv::waitFor([&] { return focus.live() && !focus.window(); }));

        // Wrong types: one log line, "Unknown" until a good report comes.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"extension sent"_s));
        emitChanged({u"Files"_s, 7});
        QVERIFY(TestEnv::waitFor([&] { return !focus.live(); }));
        emitChanged({u"Files"_s, u"x"_s, u"y"_s});
        emitChanged({u"Files"_s, u""_s, 9u});
        QVERIFY(TestEnv::waitFor([&] { return focus.live() && focus.window(); }));

        // The extension is switched off.
        shell.unregisterService(u"com.corvane.native.Focus"_s);
        QVERIFY(TestEnv::waitFor([&] { return !focus.live() && !focus.window(); }));
        QDBusConnection::disconnectFromBus(u"fake-shell"_s);
    }

    void kwinScript()
    {
        QDBusConnection kwin = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-kwin"_s);
        FakeScripting scripting;
        FakeScript script;
        QVERIFY(kwin.registerObject(u"/Scripting"_s, &scripting, QDBusConnection::ExportAllSlots));
        QVERIFY(kwin.registerObject(u"/Scripting/Script3"_s, &script, QDBusConnection::ExportAllSlots));
        QVERIFY(kwin.registerService(u"org.kde.KWin"_s));

        {
            // A KWin that refuses the script: one line, never live.
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"KWin did not take our script"_s));
            KWinFocusScript refused;
            QVERIFY(TestEnv::waitFor([&] { return !scripting.loadedFile.isEmpty(); }));
            QTest::qWait(100);
            QVERIFY(!refused.live());
        }

        // No Scripting.start here: the script object runs it, on the Plasma 6
        // path /Scripting/Script3, once the left-behind one has gone.
        scripting.answer = 3;
        scripting.leftBehind = 2;
        scripting.loads = 0;
        auto focus = std::make_unique<KWinFocusScript>();
        QVERIFY(TestEnv::waitFor([&] { return scripting.loads == 3; }));
        QFile file(scripting.loadedFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains(QDBusConnection::sessionBus().baseService().toUtf8()));
        QVERIFY(!text.contains("caption"));   // never the title

        const auto report = [&](QDBusConnection &from, const QVariantList &args) {
            QDBusMessage call = QDBusMessage::createMethodCall(QDBusConnection::sessionBus().baseService(),
                                                               u"/com/corvane/native/Focus"_s,
                                                               u"com.corvane.native.Focus"_s, u"Report"_s);
            call.setArguments(args);
            // Our receiver answers from this thread: the call must run the event loop.
            return from.call(call, QDBus::BlockWithGui, 2000);
        };
        // callDBus runs on KWin's side; the bus delivers it to our connection.
        QCOMPARE(report(kwin, {u"probeterm"_s, QString(), u"123"_s}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(focus->live() && focus->window());
        QCOMPARE(focus->window()->wmClass, u"probeterm"_s);

        // Anyone else claiming to be KWin is ignored.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"forger"_s);
        QCOMPARE(report(other, {u"evil"_s, QString(), u"1"_s}).type(), QDBusMessage::ErrorMessage);
        QCOMPARE(focus->window()->wmClass, u"probeterm"_s);
        QDBusConnection::disconnectFromBus(u"forger"_s);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"script sent"_s));
        QCOMPARE(report(kwin, {u"probeterm"_s, QString(), u"not a pid"_s}).type(), QDBusMessage::ErrorMessage);
        QVERIFY(!focus->live() && !focus->window());

        // Quitting takes the script out of KWin and removes its file.
        const int unloads = scripting.unloads;
        focus.reset();
        QVERIFY(TestEnv::waitFor([&] { return scripting.unloads > unloads; }));
        QVERIFY(!QFile::exists(scripting.loadedFile));
        QDBusConnection::disconnectFromBus(u"fake-kwin"_s);
    }

    void swaySocket()
    {
        QTemporaryDir dir;
        QLocalServer server;
        QVERIFY(server.listen(dir.path() + u"/sway.sock"_s));
        SwayFocus focus(server.fullServerName());
        QVERIFY(server.waitForNewConnection(5000));
        QLocalSocket *peer = server.nextPendingConnection();
        // Subscribe, then the tree.
        QVERIFY(TestEnv::waitFor([&] { return peer->bytesAvailable() >= 2 * 14; }));
        QVERIFY(peer->readAll().contains("[\"window\",\"workspace\"]"));

        const QByteArray tree = R"({"type":"root","nodes":[{"type":"output","nodes":[{"type":"workspace",
            "nodes":[{"type":"con","focused":false,"app_id":"foot","pid":10},
                     {"type":"con","focused":true,"app_id":null,"pid":11,
                      "window_properties":{"class":"ProbeTerm","title":"secret"}}]}]}]})";
        peer->write(swayMessage(4, tree));
        QVERIFY(TestEnv::waitFor([&] { return focus.window().has_value(); }));
        QCOMPARE(*focus.window(), (FocusedWindow{u"ProbeTerm"_s, QString(), 11}));

        // A focus event arrives in two pieces.
        const QByteArray event = swayMessage(0x80000003u,
                                             R"({"change":"focus","container":{"type":"con","app_id":"foot","pid":10}})");
        peer->write(event.left(9));
        peer->flush();
        QTest::qWait(20);
        peer->write(event.mid(9));
        QVERIFY(TestEnv::waitFor([&] { return focus.window() && focus.window()->appId == u"foot"_s; }));

        // An empty workspace gets focus: sway is asked for the tree again.
        peer->readAll();
        peer->write(swayMessage(0x80000000u, R"({"change":"focus"})"));
        QVERIFY(TestEnv::waitFor([&] { return peer->bytesAvailable() >= 14; }));
        peer->write(swayMessage(4, R"({"type":"root","nodes":[{"type":"workspace","focused":true,"nodes":[]}]})"));
        QVERIFY(TestEnv::waitFor([&] { return focus.live() && !focus.window(); }));

        // Garbage instead of IPC: one line, "Unknown", the socket closed.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"sway's IPC socket failed"_s));
        peer->write("GET / HTTP/1.1\r\n\r\n");
        QVERIFY(TestEnv::waitFor([&] { return !focus.live(); }));
    }

    // A display that is not there, as when a compositor is gone: no answer, no crash.
    void idleWithoutACompositor()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"idle: cannot connect"_s));
        WaylandIdle idle("zimbrel-no-such-display");
        QVERIFY(!idle.seconds());
        QVERIFY(!idle.ready());
    }

    // Weston offers neither idle protocol: one line and no answer, so the
    // bus services or 0 take over.
    void idleOnACompositorWithoutTheProtocols()
    {
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess weston;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        weston.setProcessEnvironment(env);
        weston.start(u"weston"_s, {u"--backend=headless-backend.so"_s, u"--socket=wl-idle"_s});
        const QString socket = runtime.path() + u"/wl-idle"_s;
        // The socket file is there once bound, a moment before weston
        // listens on it: ready when it takes a connection.
        const auto listening = [&] {
            QLocalSocket probe;
            probe.connectToServer(socket);
            return probe.waitForConnected(1000);
        };
        if (!weston.waitForStarted() || !TestEnv::waitFor(listening, 10000))
            QSKIP("weston does not start here");

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"idle: the compositor offers no idle"_s));
        WaylandIdle idle(QFile::encodeName(socket));
        QSignalSpy unavailable(&idle, &WaylandIdle::unavailable);
        QVERIFY(unavailable.wait(5000));
        QVERIFY(!idle.ready());
        QVERIFY(!idle.seconds());
        weston.terminate();
        weston.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestWaylandFocus)
#include "tst_waylandfocus.moc"
