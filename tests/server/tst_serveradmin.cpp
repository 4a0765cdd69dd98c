// Running the workspace from the browser: the admin pages in a real headless
// chromium against a real zimbrel-server, and what the desktop client's own
// server code (src/api) sees afterwards.
#include "API.h"
#include "AsyncTest.h"
#include "Browser.h"
#include "ServerProcess.h"
#include "TestEnv.h"
#include "WebTeam.h"

#include <QTest>

using AsyncTest::await;

class TestServerAdmin : public QObject {
    Q_OBJECT

    ServerProcess m_server;
    WebTeam m_team;
    Browser m_browser;
    std::unique_ptr<TestEnv::IsolatedHome> m_home;

    QString at(const QString &path) const { return m_server.baseUrl().resolved(QUrl(path)).toString(); }

    bool signIn(const WebTeam::Person &who) { return WebTeam::signIn(m_browser, m_server.baseUrl(), &who); }

    // Clicks the form's submit button and waits for the page it leads to,
    // which shows a notice (done) or an error (refused).
    bool submit(const QString &form)
    {
        m_browser.run(QStringLiteral("document.body.dataset.left = '1';"));
        return m_browser.click(form + QStringLiteral(" button[type=submit]"))
            && m_browser.waitFor(QStringLiteral("body:not([data-left]) main .notice, body:not([data-left]) main .error"));
    }

    bool choose(const QString &select, const QString &value)
    {
        return m_browser
            .run(QStringLiteral("const s = document.querySelector(arguments[0]); s.value = arguments[1];"
                                " return s.value === arguments[1];"),
                 {select, value})
            .toBool();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_home = std::make_unique<TestEnv::IsolatedHome>();
        QVERIFY(m_team.seed(m_server));
        QVERIFY2(m_server.start(), qPrintable(m_server.log()));
        QVERIFY2(m_browser.start(), qPrintable(m_browser.error()));
        API::setBaseURL(m_server.baseUrl());
    }

    // The lead invites a member, adds a project with a task, assigns it and
    // changes the screenshot interval; the new member's desktop client signs
    // in and gets all of it; the audit log shows each change.
    void leadRunsTheWorkspaceAndTheClientFollows()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        const QString email = QStringLiteral("dora@example.com"), password = QStringLiteral("dora's first password");

        QVERIFY(m_browser.open(at(QStringLiteral("/web/admin/members"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("form[action='/web/admin/members']")));
        const QString invite = QStringLiteral("form[action='/web/admin/members']");
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=email]"), email));
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=name]"), QStringLiteral("Dora Lind")));
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=time_zone]"), QStringLiteral("Europe/Oslo")));
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=password]"), password));
        QVERIFY2(submit(invite), qPrintable(m_browser.error()));
        QVERIFY(m_browser.text(QStringLiteral("main .notice")).startsWith(QStringLiteral("Member invited")));
        QVERIFY(m_browser.text(QStringLiteral("main table")).contains(QStringLiteral("Dora Lind")));
        const qint64 dora = m_server.scalar(QStringLiteral("SELECT id FROM members WHERE email = ?"), {email}).toLongLong();
        QVERIFY(dora > 0);

        QVERIFY(m_browser.open(at(QStringLiteral("/web/admin/projects"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("form[action='/web/admin/projects']")));
        QVERIFY(m_browser.type(QStringLiteral("form[action='/web/admin/projects'] input[name=name]"),
                               QStringLiteral("Onboarding")));
        QVERIFY(submit(QStringLiteral("form[action='/web/admin/projects']")));
        QCOMPARE(m_browser.text(QStringLiteral("main h1")), QStringLiteral("Onboarding"));
        QVERIFY(m_browser.type(QStringLiteral("form[action$='/task'] input[name=name]"), QStringLiteral("Kick-off")));
        QVERIFY(submit(QStringLiteral("form[action$='/task']")));
        QCOMPARE(m_browser.text(QStringLiteral("main .notice")), QStringLiteral("Task added."));
        QVERIFY(choose(QStringLiteral("form[action$='/assign'] select[name=member]"), QString::number(dora)));
        QVERIFY(submit(QStringLiteral("form[action$='/assign']")));
        QVERIFY(m_browser.text(QStringLiteral("main ul.rows")).contains(QStringLiteral("Dora Lind")));

        QVERIFY(m_browser.open(at(QStringLiteral("/web/admin/settings"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("input[name=screenshot_interval]")));
        // From the keyboard: the Enter key in the field sends the form.
        m_browser.run(QStringLiteral("document.body.dataset.left = '1';"));
        QVERIFY(m_browser.type(QStringLiteral("input[name=screenshot_interval]"), QStringLiteral("7") + QChar(0xE007)));
        QVERIFY(m_browser.waitFor(QStringLiteral("body:not([data-left]) main .notice")));
        QVERIFY(m_browser.text(QStringLiteral("main .notice")).startsWith(QStringLiteral("Saved")));

        // The desktop client, as the new member.
        const QString token = await(API::login(email, password)).token;
        QVERIFY(!token.isEmpty());
        QCOMPARE(await(API::screenshotInterval(token)), 7.0);
        const QList<Project> projects = await(API::projects(token));
        QCOMPARE(projects.size(), 1);
        QCOMPARE(projects[0].name, QStringLiteral("Onboarding"));
        QCOMPARE(projects[0].tasks.size(), 1);
        QCOMPARE(projects[0].tasks[0].name, QStringLiteral("Kick-off"));

        QVERIFY(m_browser.open(at(QStringLiteral("/web/admin/audit"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("main ol.audit")));
        const QString log = m_browser.text(QStringLiteral("main ol.audit"));
        for (const char *what : {"Invited a member", "Added a project", "Added a task", "Assigned a member",
                                 "Changed a setting"})
            QVERIFY2(log.contains(QLatin1String(what)), what);
        QCOMPARE(log.count(m_team.lead.email), 5);
    }

    // A refused change says why, keeps what was typed and changes nothing.
    void badInputIsRefusedWithItsSentence()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        QVERIFY(m_browser.open(at(QStringLiteral("/web/admin/members"))));
        const QString invite = QStringLiteral("form[action='/web/admin/members']");
        QVERIFY(m_browser.waitFor(invite));
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=email]"), m_team.ann.email.toUpper()));
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=name]"), QStringLiteral("Second Ann")));
        QVERIFY(m_browser.type(invite + QStringLiteral(" input[name=password]"), QStringLiteral("long enough")));
        QVERIFY(submit(invite));
        QCOMPARE(m_browser.status(), 400);
        QCOMPARE(m_browser.text(QStringLiteral("main .error")),
                 QStringLiteral("A member with the e-mail %1 exists already.").arg(m_team.ann.email));
        QCOMPARE(m_browser.run(QStringLiteral("return document.querySelector(\"input[name=name]\").value;")).toString(),
                 QStringLiteral("Second Ann"));
        QCOMPARE(m_server.scalar(QStringLiteral("SELECT COUNT(*) FROM members WHERE name = 'Second Ann'")).toInt(), 0);
    }

    // Members and managers cannot reach the admin pages, nor see them in
    // the navigation.
    void othersCannotReachAdminPages()
    {
        for (const WebTeam::Person *who : {&m_team.ann, &m_team.manager}) {
            QVERIFY2(signIn(*who), qPrintable(m_browser.error()));
            QCOMPARE(m_browser.count(QStringLiteral("header nav a[href^='/web/admin/']")), 0);
            for (const char *page : {"/web/admin/members", "/web/admin/projects", "/web/admin/settings",
                                     "/web/admin/audit"}) {
                QVERIFY(m_browser.open(at(QLatin1String(page))));
                QVERIFY(m_browser.waitFor(QStringLiteral("main h1")));
                QCOMPARE(m_browser.status(), 403);
            }
        }
    }

    // A settings form whose token was taken out is refused and changes nothing.
    void adminFormWithoutTokenIsRefused()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        QVERIFY(m_browser.open(at(QStringLiteral("/web/admin/settings"))));
        QVERIFY(m_browser.waitFor(QStringLiteral("input[name=screenshot_interval]")));
        const QVariant before = m_server.scalar(QStringLiteral("SELECT value FROM settings WHERE key = 'screenshot_interval'"));
        m_browser.run(QStringLiteral("document.querySelector(\"main form input[name=csrf]\").remove();"));
        QVERIFY(m_browser.type(QStringLiteral("input[name=screenshot_interval]"), QStringLiteral("9")));
        QVERIFY(m_browser.click(QStringLiteral("main form button[type=submit]")));
        QVERIFY2(m_browser.waitForTitle(QStringLiteral("Not allowed")), qPrintable(m_browser.error()));
        QCOMPARE(m_browser.status(), 403);
        QCOMPARE(m_server.scalar(QStringLiteral("SELECT value FROM settings WHERE key = 'screenshot_interval'")), before);
    }

    // On a 360 px phone every admin page fits the width, and every control
    // has a name a screen reader can read.
    void adminPagesFitAPhoneAndNameEveryControl()
    {
        QVERIFY2(signIn(m_team.lead), qPrintable(m_browser.error()));
        m_browser.consoleMessages(); // only what the admin pages write counts
        QVERIFY(m_browser.setViewport(360, 800));
        for (const QString &page : {QStringLiteral("/web/admin/members"),
                                    QStringLiteral("/web/admin/members/%1").arg(m_team.ann.id),
                                    QStringLiteral("/web/admin/projects"),
                                    QStringLiteral("/web/admin/projects/%1").arg(m_team.website),
                                    QStringLiteral("/web/admin/settings"), QStringLiteral("/web/admin/audit")}) {
            QVERIFY(m_browser.open(at(page)));
            QVERIFY(m_browser.waitFor(QStringLiteral("main h1")));
            QCOMPARE(m_browser.status(), 200);
            QVERIFY2(m_browser.run(QStringLiteral("return document.documentElement.scrollWidth;")).toInt() <= 360,
                     qPrintable(page));
            const QString unnamed = m_browser.run(QStringLiteral(
                "return [...document.querySelectorAll('input:not([type=hidden]), select, button, a')]"
                ".filter(e => (e.labels ? e.labels.length === 0 : true) && !e.getAttribute('aria-label')"
                " && !e.textContent.trim()).map(e => e.outerHTML.slice(0, 80)).join(' ');")).toString();
            QVERIFY2(unnamed.isEmpty(), qPrintable(page + QStringLiteral(": ") + unnamed));
            // Nothing on the page breaks its content security policy or fails to load.
            const QStringList console = m_browser.consoleMessages();
            QVERIFY2(console.isEmpty(), qPrintable(page + QStringLiteral(": ") + console.join(QLatin1Char('\n'))));
        }
        QVERIFY(m_browser.setViewport(1440, 900));
    }

    void cleanupTestCase() { m_home.reset(); }
};

QTEST_GUILESS_MAIN(TestServerAdmin)
#include "tst_serveradmin.moc"
