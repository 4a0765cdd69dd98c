#include "Browser.h"
#include "ServerProcess.h"
#include "WebTeam.h"

#include <QTest>

// The web pages in a real headless browser against a real zimbrel-server.
class TestServerWeb : public QObject {
    Q_OBJECT

    ServerProcess m_server;
    WebTeam m_team;
    Browser m_browser;

    QString at(const QString &path) const { return m_server.baseUrl().resolved(QUrl(path)).toString(); }

    bool signIn(const WebTeam::Person &who)
    {
        const QString signOut = QStringLiteral("header form[action='/web/logout'] button");
        if (!m_browser.open(at(QStringLiteral("/web/login")))
            || !m_browser.waitFor(QStringLiteral("input[name=email], ") + signOut))
            return false;
        // A session still open from an earlier case ends first.
        if (m_browser.count(signOut) > 0
            && (!m_browser.click(signOut) || !m_browser.waitFor(QStringLiteral("input[name=email]"))))
            return false;
        return m_browser.type(QStringLiteral("input[name=email]"), who.email)
            && m_browser.type(QStringLiteral("input[name=password]"), who.password)
            && m_browser.click(QStringLiteral("form[action='/web/login'] button"))
            && m_browser.waitFor(QStringLiteral("header form[action='/web/logout']"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_team.seed(m_server));
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        QVERIFY2(m_browser.start(), qPrintable(m_browser.error()));
    }

    // A member signs in, sees their own day; another member's day is refused.
    void memberSeesOnlyTheirOwnDay()
    {
        QVERIFY2(signIn(m_team.ann), qPrintable(m_browser.error()));
        const QString date = WebTeam::yesterday(m_team.ann).toString(Qt::ISODate);
        QVERIFY(m_browser.open(at(QStringLiteral("/web/day?date=") + date)));
        QVERIFY2(m_browser.waitFor(QStringLiteral("main h1")), qPrintable(m_browser.error()));
        QCOMPARE(m_browser.status(), 200);
        QVERIFY(m_browser.text(QStringLiteral("main")).contains(QStringLiteral("Client portal")));
        QVERIFY(m_browser.open(at(QStringLiteral("/web/day?member=%1").arg(m_team.ben.id))));
        QCOMPARE(m_browser.status(), 403);
        QVERIFY(m_browser.text(QStringLiteral("main h1")).contains(QStringLiteral("Not allowed")));
    }

    // A form whose token was taken out is refused, and changes nothing.
    void formWithoutTokenIsRefused()
    {
        QVERIFY2(signIn(m_team.ann), qPrintable(m_browser.error()));
        m_browser.run(QStringLiteral("document.querySelector(\"header form[action='/web/logout'] input[name=csrf]\").remove();"));
        QVERIFY(m_browser.click(QStringLiteral("header form[action='/web/logout'] button")));
        QVERIFY2(m_browser.waitForTitle(QStringLiteral("Not allowed")), qPrintable(m_browser.error()));
        QCOMPARE(m_browser.status(), 403);
        // Still signed in: the day opens.
        QVERIFY(m_browser.open(at(QStringLiteral("/web/day"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("header form[action='/web/logout']")));
    }
};

QTEST_GUILESS_MAIN(TestServerWeb)
#include "tst_serverweb.moc"
