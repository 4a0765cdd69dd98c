// The zimbrel program as a script meets it: options, sign-in from standard
// input, and the session restored from the keyring at the next launch.
#include "Keychain.h"
#include "ProgramRun.h"
#include "TestEnv.h"
#include "TestServer.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QString program()
{
    return TestEnv::buildPath(u"src/app/zimbrel"_s);
}

ProgramRun run(const QStringList &args)
{
    return ProgramRun::run(program(), args);
}
} // namespace

class TestZimbrelCli : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void helpListsEveryOption()
    {
        const ProgramRun r = run({u"--help"_s});
        QCOMPARE(r.exitCode, 0);
        for (const char *option : {"--demo", "--screen", "--selftest", "--width", "--height", "--server", "--headless",
                                   "--email", "--appearance"})
            QVERIFY2(r.out.contains(QLatin1StringView(option)), option);
    }

    void badOptionsExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("plain http elsewhere") << QStringList{u"--server"_s, u"http://example.com/api/v1/"_s} << u"https"_s;
        QTest::newRow("no api/v1/") << QStringList{u"--server"_s, u"https://example.com/"_s} << u"api/v1/"_s;
        QTest::newRow("selftest not a number") << QStringList{u"--selftest"_s, u"soon"_s} << u"--selftest"_s;
        QTest::newRow("width not a number") << QStringList{u"--width"_s, u"wide"_s} << u"--width"_s;
        QTest::newRow("height zero") << QStringList{u"--height"_s, u"0"_s} << u"--height"_s;
        QTest::newRow("width negative") << QStringList{u"--width"_s, u"-5"_s} << u"--width"_s;
        QTest::newRow("width huge") << QStringList{u"--width"_s, u"1000000"_s} << u"--width"_s;
        QTest::newRow("screen nowhere") << QStringList{u"--screen"_s, u"nowhere"_s} << u"timer, today or settings"_s;
        QTest::newRow("email with a window") << QStringList{u"--email"_s, u"a@b.c"_s} << u"--headless"_s;
        QTest::newRow("appearance") << QStringList{u"--appearance"_s, u"sepia"_s} << u"light or dark"_s;
        QTest::newRow("unknown option") << QStringList{u"--fast"_s} << u"fast"_s;
    }

    void badOptionsExitWithTwo()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        TestEnv::IsolatedHome home;
        const ProgramRun r = run(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }

    void signsInFromStdinAndRestoresNextTime()
    {
        TestEnv::IsolatedHome home;
        Keychain::remove(u"token"_s);
        TestServer server;
        QProcess app;
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(program(), {u"--headless"_s, u"--email"_s, u"member@example.com"_s, u"--server"_s, server.baseURL()});
        app.write("hunter2\n");
        app.closeWriteChannel();
        QByteArray output;
        QVERIFY(TestEnv::waitFor([&] {
            output += app.readAll();
            return output.contains("signed in as member@example.com");
        }, 20000));
        QCOMPARE(server.count(u"settings/get"_s), 1);
        QCOMPARE(server.last(u"login"_s)->json().value("password"_L1).toString(), u"hunter2"_s);
        app.terminate();
        QVERIFY(app.waitForFinished(10000));

        server.clear();
        QProcess again;
        again.setProcessChannelMode(QProcess::MergedChannels);
        again.start(program(), {u"--headless"_s, u"--server"_s, server.baseURL()});
        QVERIFY(TestEnv::waitFor([&] { return server.count(u"projects"_s) == 1; }, 20000));
        QCOMPARE(server.count(u"login"_s), 0);
        QCOMPARE(server.last(u"projects"_s)->header(u"Authorization"_s), u"Bearer test-token"_s);
        again.terminate();
        QVERIFY(again.waitForFinished(10000));
        Keychain::remove(u"token"_s);
    }

    void wrongPasswordExitsWithItsSentence()
    {
        TestEnv::IsolatedHome home;
        TestServer server;
        server.respond(u"login"_s, 401, QByteArray(R"({"success":false,"message":"These credentials do not match."})"));
        ProgramRun::Options options;
        options.input = "nope\n";
        const ProgramRun app =
            ProgramRun::run(program(), {u"--headless"_s, u"--email"_s, u"a@b.c"_s, u"--server"_s, server.baseURL()}, options);
        QCOMPARE(app.exitCode, 1);
        QVERIFY(app.err.contains(u"These credentials do not match."_s));
    }
};

QTEST_GUILESS_MAIN(TestZimbrelCli)
#include "tst_zimbrel_cli.moc"
