// Screenshots and screen permission in a real headless GNOME Shell session,
// with this test's Qt on X (the Xvfb of the test desktop), as a program that
// falls back to Xwayland would run.
#include "CaptureWait.h"
#include "Permissions.h"
#include "TestEnv.h"
#include "WaylandDesktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

int failuresLogged = 0;
QtMessageHandler previousHandler = nullptr;

void countFailures(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(u"screenshot failed: "_s))
        ++failuresLogged;
    previousHandler(type, context, message);
}

QCoro::Task<> captureInto(std::shared_ptr<std::optional<ScreenShot>> out, std::shared_ptr<bool> done)
{
    *out = co_await ScreenGrabber::capture();
    *done = true;
}

QCoro::Task<> requestInto(std::shared_ptr<std::optional<bool>> out)
{
    *out = co_await Permissions::allowScreen();
}

// Catches what the program would open in the browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class TestWaylandCapture : public QObject {
    Q_OBJECT
    std::unique_ptr<WaylandDesktop> m_desktop;

    void store(const QStringList &answer)
    {
        if (answer.isEmpty())
            QVERIFY(m_desktop->deletePermissionTable(u"screenshot"_s, u"screenshot"_s) ||
                    !m_desktop->call(u"org.freedesktop.impl.portal.PermissionStore"_s,
                                     u"/org/freedesktop/impl/portal/PermissionStore"_s,
                                     u"org.freedesktop.impl.portal.PermissionStore.Lookup"_s,
                                     {u"screenshot"_s, u"screenshot"_s}));
        else
            QVERIFY(m_desktop->setPermission(u"screenshot"_s, u"screenshot"_s, QString(), answer));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The first capture starts the portal, as the first one after login
        // may; here the portal takes longer to come up than a running
        // portal may take to answer, as on a busy machine.
        WaylandDesktop::Options options;
        options.serviceStartDelays.insert(u"org.freedesktop.portal.Desktop"_s, 6000);
        m_desktop = std::make_unique<WaylandDesktop>(WaylandDesktop::Shell::Gnome, options);
        if (!m_desktop->isRunning())
            QSKIP(qPrintable(m_desktop->failure()));
        m_desktop->enter();
        // The help page where the program looks first: the XDG data folders.
        const QString help = m_desktop->environment().value(u"XDG_DATA_HOME"_s) + u"/zimbrel/help"_s;
        QVERIFY(QDir().mkpath(help));
        QVERIFY(QFile::copy(TestEnv::sourcePath(u"data/help/permissions.html"_s), help + u"/permissions.html"_s));
        QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
        previousHandler = qInstallMessageHandler(countFailures);
    }

    void cleanupTestCase()
    {
        if (previousHandler)
            qInstallMessageHandler(previousHandler);
        m_desktop.reset();
    }

    void init() { failuresLogged = 0; }

    void allowedCaptureShowsTheGnomeScreen()
    {
        store({u"yes"_s});
        QVERIFY(Permissions::preflightScreen());
        bool finished = false;
        const std::optional<ScreenShot> shot = captureAndWait(&finished, 60000);
        QVERIFY(finished);
        QVERIFY(shot);
        // The GNOME monitor's proportions (1920 x 1080), not the X screen
        // Qt runs on (1440 x 900), and not one flat colour.
        QCOMPARE(QSize(shot->width, shot->height), QSize(1600, 900));
        QImage picture;
        QVERIFY(picture.loadFromData(shot->jpeg, "JPG"));
        QCOMPARE(picture.size(), QSize(1600, 900));
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        int lowest = 255, highest = 0;
        for (int y = 0; y < grey.height(); y += 7) {
            for (int x = 0; x < grey.width(); x += 7) {
                lowest = std::min<int>(lowest, grey.pixelColor(x, y).value());
                highest = std::max<int>(highest, grey.pixelColor(x, y).value());
            }
        }
        QVERIFY2(highest - lowest > 40, qPrintable(u"flat picture: %1..%2"_s.arg(lowest).arg(highest)));
        QCOMPARE(failuresLogged, 0);
        // The X root is never read in a Wayland session, even with Qt on X.
        QVERIFY(ScreenGrabber::grab().isNull());
    }

    void withoutTheAnswerYesNothingIsAsked_data()
    {
        QTest::addColumn<QStringList>("answer");
        QTest::newRow("denied") << QStringList{u"no"_s};
        QTest::newRow("never asked") << QStringList{};
        QTest::newRow("unknown answer") << QStringList{u"ask"_s};
    }

    void withoutTheAnswerYesNothingIsAsked()
    {
        QFETCH(QStringList, answer);
        store(answer);
        QVERIFY(!Permissions::preflightScreen());
        // A portal request would need the bus's answer first; finishing
        // before the event loop ran means none was made.
        auto out = std::make_shared<std::optional<ScreenShot>>();
        auto done = std::make_shared<bool>(false);
        captureInto(out, done);
        QVERIFY(*done);
        QVERIFY(!*out);
        QCOMPARE(failuresLogged, 0);
    }

    void aDeniedRequestIsLoggedAndOpensTheHelp()
    {
        store({u"no"_s});
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
        auto allowed = std::make_shared<std::optional<bool>>();
        requestInto(allowed);
        QVERIFY(TestEnv::waitFor([&] { return allowed->has_value(); }, 20000));
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(**allowed, false);
        QCOMPARE(failuresLogged, 1);
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.constFirst().fragment(), u"Privacy_ScreenCapture"_s);
        // The stored answer is the member's: asking did not change it.
        QVERIFY(!Permissions::preflightScreen());
    }
};

QTEST_MAIN(TestWaylandCapture)
#include "tst_waylandcapture.moc"
