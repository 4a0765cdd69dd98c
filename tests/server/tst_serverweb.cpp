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

    static QString WeekStart(QDate date) { return date.addDays(1 - date.dayOfWeek()).toString(Qt::ISODate); }

    QString at(const QString &path) const { return m_server.baseUrl().resolved(QUrl(path)).toString(); }

    bool signIn(const WebTeam::Person &who) { return WebTeam::signIn(m_browser, m_server.baseUrl(), &who); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_team.seed(m_server));
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        QVERIFY2(m_browser.start(), qPrintable(m_browser.error()));
    }

    // A lead lands on the team's week, steps a week back, opens a member's
    // day from it and a screenshot from that day's grid.
    void leadOpensTheWeekADayAndAScreenshot()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        QVERIFY2(m_browser.waitFor(QStringLiteral("table.week")), qPrintable(m_browser.error()));
        const QString table = m_browser.text(QStringLiteral("table.week"));
        for (const WebTeam::Person *p : {&m_team.lead, &m_team.manager, &m_team.ann, &m_team.ben})
            QVERIFY2(table.contains(p->name), qPrintable(table));
        QVERIFY(m_browser.text(QStringLiteral("table.projects")).contains(QStringLiteral("Old client")));
        // Ben's start days ahead is flagged on his row, and counted nowhere.
        const QString benRow = m_browser.run(QStringLiteral("return [...document.querySelectorAll('table.week tbody tr')]"
                                                            ".find(r => r.textContent.includes(arguments[0])).textContent;"),
                                             {m_team.ben.name})
                                   .toString();
        QVERIFY2(benRow.contains(QStringLiteral("1 implausible")), qPrintable(benRow));

        const QDate yesterday = WebTeam::yesterday(m_team.ann);
        QVERIFY(m_browser.click(QStringLiteral("a[aria-label='Week before']")));
        QVERIFY2(m_browser.waitForTitle(WeekStart(yesterday.addDays(-7))), qPrintable(m_browser.error()));
        QVERIFY(m_browser.open(at(QStringLiteral("/web/week?date=") + yesterday.toString(Qt::ISODate))));
        const QString cell = QStringLiteral("a[href='/web/day?date=%1&member=%2']").arg(yesterday.toString(Qt::ISODate)).arg(m_team.ann.id);
        QVERIFY2(m_browser.waitFor(cell), qPrintable(m_browser.error()));
        QVERIFY(m_browser.click(cell));
        QVERIFY2(m_browser.waitFor(QStringLiteral("svg.timeline rect.c0")), qPrintable(m_browser.error()));
        QVERIFY(m_browser.text(QStringLiteral("h1")).contains(yesterday.toString(QStringLiteral("d MMMM"))));
        QVERIFY(m_browser.text(QStringLiteral(".eyebrow")).contains(QStringLiteral("ANN WEBER"), Qt::CaseInsensitive));
        QVERIFY(m_browser.count(QStringLiteral(".apps li")) > 0);
        QCOMPARE(m_browser.count(QStringLiteral(".shots img")), m_team.annShotsYesterday.size());

        QVERIFY(m_browser.click(QStringLiteral(".shots a")));
        QVERIFY2(m_browser.waitUntil(QStringLiteral("const i = document.querySelector('.picture img');"
                                                     "return !!i && i.complete && i.naturalWidth > 0;")),
                 qPrintable(m_browser.error()));
        const QString facts = m_browser.text(QStringLiteral(".facts"));
        QVERIFY2(facts.contains(QStringLiteral(" %")) && facts.contains(QStringLiteral("Application")), qPrintable(facts));
        QVERIFY(m_browser.url().endsWith(QStringLiteral("/web/shot/%1").arg(m_team.annShotsYesterday.first())));
    }

    // CSV of a range for the team, a project or one member, fetched in the
    // page with its session; a member may export only their own.
    void exportsCoverTheTeamAProjectOrAMember()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        const QString to = WebTeam::yesterday(m_team.ben).toString(Qt::ISODate);
        const QString from = WebTeam::yesterday(m_team.ben).addDays(-7).toString(Qt::ISODate);
        // The page's own session, over a plain request: a download is no page.
        auto get = [&](const QString &query) {
            const auto r = m_server.raw("GET /web/export.csv?" + QStringLiteral("from=%1&to=%2&%3").arg(from, to, query).toUtf8()
                                        + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nCookie: zimbrel_session="
                                        + m_browser.cookie(QStringLiteral("zimbrel_session")).toUtf8() + "\r\n\r\n");
            return QString::number(r.status) + QLatin1Char('\n') + QString::fromUtf8(r.body);
        };
        const QString team = get(QStringLiteral("team=1"));
        QVERIFY2(team.startsWith(QStringLiteral("200\n")), qPrintable(team.left(200)));
        for (const WebTeam::Person *p : {&m_team.lead, &m_team.ann, &m_team.ben})
            QVERIFY(team.contains(p->email));
        QVERIFY(team.contains(QStringLiteral(",Old client,,tracked,yes,no")));

        const QString project = get(QStringLiteral("project=%1").arg(m_team.mobile));
        QVERIFY(project.startsWith(QStringLiteral("200\n")));
        const QStringList rows = project.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(rows.size() > 3);
        for (const QString &row : rows.mid(1))
            QVERIFY2(row.contains(QStringLiteral(",Mobile app,")), qPrintable(row));

        const QString ann = get(QStringLiteral("member=%1").arg(m_team.ann.id));
        QVERIFY(ann.contains(m_team.ann.email) && !ann.contains(m_team.ben.email));

        QVERIFY2(signIn(m_team.ann), qPrintable(m_browser.error()));
        QVERIFY(get(QStringLiteral("team=1")).startsWith(QStringLiteral("403")));
        QVERIFY(get(QStringLiteral("project=%1").arg(m_team.mobile)).startsWith(QStringLiteral("403")));
        QVERIFY(get(QString()).contains(m_team.ann.email));
    }

    // The pages fit a 360-pixel-wide screen, and follow the browser's dark look.
    void pagesFitNarrowScreensAndTheDarkLook()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        QVERIFY(m_browser.setViewport(360, 740));
        QVERIFY(m_browser.setScheme(Browser::Scheme::dark));
        const QString date = WebTeam::yesterday(m_team.ann).toString(Qt::ISODate);
        for (const QString &page : {QStringLiteral("/web/week"), QStringLiteral("/web/day?member=%1&date=%2").arg(m_team.ann.id).arg(date),
                                    QStringLiteral("/web/shot/%1").arg(m_team.annShotsYesterday.first()), QStringLiteral("/web/export")}) {
            QVERIFY(m_browser.open(at(page)));
            QVERIFY2(m_browser.waitFor(QStringLiteral("main h1")), qPrintable(m_browser.error()));
            QVERIFY2(m_browser.run(QStringLiteral("return document.documentElement.scrollWidth;")).toInt() <= 360, qPrintable(page));
            QCOMPARE(m_browser.run(QStringLiteral("return getComputedStyle(document.body).backgroundColor;")).toString(),
                     QStringLiteral("rgb(13, 14, 16)"));
            // Every control has a label and every picture a text, for screen readers.
            const QString unnamed = m_browser.run(QStringLiteral(
                "return [...document.querySelectorAll('input:not([type=hidden]), select, button, a, img')]"
                ".filter(e => e.tagName === 'IMG' ? !e.alt : (e.labels ? e.labels.length === 0 : true)"
                " && !e.getAttribute('aria-label') && !e.textContent.trim())"
                ".map(e => e.outerHTML.slice(0, 80)).join(' ');")).toString();
            QVERIFY2(unnamed.isEmpty(), qPrintable(page + QStringLiteral(": ") + unnamed));
            // Nothing on the page breaks its content security policy or fails to load.
            const QStringList console = m_browser.consoleMessages();
            QVERIFY2(console.isEmpty(), qPrintable(page + QStringLiteral(": ") + console.join(QLatin1Char('\n'))));
        }
        QVERIFY(m_browser.setScheme(Browser::Scheme::light));
        QVERIFY(m_browser.open(at(QStringLiteral("/web/week"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("main h1")));
        QCOMPARE(m_browser.run(QStringLiteral("return getComputedStyle(document.body).backgroundColor;")).toString(),
                 QStringLiteral("rgb(248, 248, 247)"));
        QVERIFY(m_browser.setViewport(1440, 900));
    }

    // A member signs in, sees their own day; another member's day and the
    // team's week are refused.
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
        QVERIFY(m_browser.open(at(QStringLiteral("/web/week"))));
        QCOMPARE(m_browser.status(), 403);
        QCOMPARE(m_browser.count(QStringLiteral("header nav a[href='/web/week']")), 0);
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
