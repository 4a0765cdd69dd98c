// The Wayland screenshot path, against a screenshot portal served on the test bus.
#include "CaptureWait.h"
#include "EnvOverride.h"
#include "PortalScreenshot.h"
#include "TestEnv.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
public:
    enum class Mode { picture, declined, failing, missingFile, notAnImage, silent, leaving };
    Mode mode = Mode::picture;
    QString file;
    QDBusConnection bus{QString()};
    QVariantMap lastOptions;
    int requests = 0;

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString &, const QVariantMap &options)
    {
        lastOptions = options;
        ++requests;
        if (mode == Mode::leaving) {
            // Gone from the bus after taking the request, as a crashed portal.
            QTimer::singleShot(20, this, [this] { bus.unregisterService(u"org.freedesktop.portal.Desktop"_s); });
            mode = Mode::silent;
        }
        if (mode == Mode::failing) {
            sendErrorReply(QDBusError::AccessDenied, u"screenshots are not allowed here"_s);
            return {};
        }
        QString sender = message().service().mid(1);
        sender.replace(u'.', u'_');
        const QString request =
            u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' + options.value(u"handle_token"_s).toString();
        // The answer comes later, as a signal on the request object.
        if (mode == Mode::silent)
            return QDBusObjectPath(request);
        QTimer::singleShot(20, this, [this, request] {
            QDBusMessage response =
                QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
            QVariantMap results;
            if (mode == Mode::picture || mode == Mode::notAnImage)
                results.insert(u"uri"_s, QUrl::fromLocalFile(file).toString());
            if (mode == Mode::missingFile)
                results.insert(u"uri"_s, QUrl::fromLocalFile(file + u".gone"_s).toString());
            response.setArguments({mode == Mode::declined ? 1u : 0u, results});
            bus.send(response);
        });
        return QDBusObjectPath(request);
    }
};

namespace {

QCoro::Task<> takeInto(std::shared_ptr<PortalScreenshot::Result> out, std::shared_ptr<bool> done)
{
    *out = co_await PortalScreenshot::take();
    *done = true;
}

PortalScreenshot::Result take()
{
    auto out = std::make_shared<PortalScreenshot::Result>();
    auto done = std::make_shared<bool>(false);
    takeInto(out, done);
    if (!TestEnv::waitFor([done] { return *done; }, 5000))
        out->error = u"timed out"_s;
    return *out;
}

} // namespace

class TestPortalScreenshot : public QObject {
    Q_OBJECT
    FakePortal m_portal;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!PortalScreenshot::available());
        m_portal.bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-portal"_s);
        QVERIFY(m_portal.bus.registerObject(u"/org/freedesktop/portal/desktop"_s, &m_portal,
                                            QDBusConnection::ExportAllSlots));
        QVERIFY(m_portal.bus.registerService(u"org.freedesktop.portal.Desktop"_s));
        QVERIFY(PortalScreenshot::available());
    }

    void init() { m_portal.file = m_dir.filePath(u"Screenshot.png"_s); }

    void deliversThePictureAndRemovesTheFile()
    {
        QImage picture(320, 200, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(m_portal.file));
        m_portal.mode = FakePortal::Mode::picture;

        const PortalScreenshot::Result result = take();
        QCOMPARE(result.error, QString());
        QCOMPARE(result.image.size(), QSize(320, 200));
        QVERIFY(!QFile::exists(m_portal.file));
        QCOMPARE(m_portal.lastOptions.value(u"interactive"_s).toBool(), false);
    }

    // In a Wayland session every way a portal can fail costs this one
    // capture and one log line; the next capture asks again.
    void badAnswersCostOneCaptureAndOneLogLine_data()
    {
        QTest::addColumn<FakePortal::Mode>("mode");
        QTest::newRow("cancelled") << FakePortal::Mode::declined;
        QTest::newRow("refused") << FakePortal::Mode::failing;
        QTest::newRow("missing file") << FakePortal::Mode::missingFile;
        QTest::newRow("not an image") << FakePortal::Mode::notAnImage;
        QTest::newRow("leaves the bus") << FakePortal::Mode::leaving;
    }

    void badAnswersCostOneCaptureAndOneLogLine()
    {
        QFETCH(FakePortal::Mode, mode);
        QFile text(m_portal.file);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a picture") > 0);
        text.close();
        m_portal.mode = mode;
        EnvOverride wayland("WAYLAND_DISPLAY", "wayland-test");
        EnvOverride desktop("XDG_CURRENT_DESKTOP", "KDE");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^screenshot failed: \\S"_s));
        QTest::failOnWarning(QRegularExpression(u"^screenshot failed"_s));
        const int before = m_portal.requests;
        bool finished = false;
        QVERIFY(!captureAndWait(&finished, 5000));
        QVERIFY(finished);
        QCOMPARE(m_portal.requests, before + 1);
        if (mode == FakePortal::Mode::notAnImage)
            QVERIFY(!QFile::exists(m_portal.file));
        if (mode == FakePortal::Mode::leaving)
            QVERIFY(m_portal.bus.registerService(u"org.freedesktop.portal.Desktop"_s));
    }

    void aPortalThatNeverAnswersCostsTheWaitOnly()
    {
        m_portal.mode = FakePortal::Mode::silent;
        auto out = std::make_shared<PortalScreenshot::Result>();
        auto done = std::make_shared<bool>(false);
        [](auto out, auto done) -> QCoro::Task<> {
            *out = co_await PortalScreenshot::take(std::chrono::milliseconds(300));
            *done = true;
        }(out, done);
        QVERIFY(TestEnv::waitFor([done] { return *done; }, 5000));
        QVERIFY(out->image.isNull());
        QCOMPARE(out->error, u"the screenshot portal did not answer"_s);
    }

    void failuresCarryADescription()
    {
        m_portal.mode = FakePortal::Mode::failing;
        PortalScreenshot::Result result = take();
        QVERIFY(result.image.isNull());
        QCOMPARE(result.error, u"screenshots are not allowed here"_s);
    }
};

QTEST_MAIN(TestPortalScreenshot)
#include "tst_portalscreenshot.moc"
