// Screenshots of every web page at 1440 and 390 CSS pixels wide, in the light
// and the dark look, against a real server with a seeded team:
//   webshots <folder>    (scripts/web-shots.sh builds and runs it)
// Files are named <page>-<width>-<light|dark>.png.
#include "Browser.h"
#include "ServerProcess.h"
#include "WebTeam.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {

struct Page {
    QString name;
    QString path;        // with {yesterday} and {shot} and {ann} filled in
    const WebTeam::Person WebTeam::*who; // signed in as; null: signed out
    QString waitFor;     // CSS of something the page shows when ready
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: webshots <folder>\n";
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    ServerProcess server;
    WebTeam team;
    if (!team.seed(server) || !server.start()) {
        err << "the server did not start: " << server.log() << "\n";
        return 1;
    }
    Browser browser;
    if (!browser.start()) {
        err << browser.error() << "\n";
        return 1;
    }

    const QList<Page> pages{
        {QStringLiteral("signin"), QStringLiteral("/web/login"), nullptr, QStringLiteral("input[name=email]")},
        {QStringLiteral("week"), QStringLiteral("/web/week"), &WebTeam::lead, QStringLiteral("table.week")},
        {QStringLiteral("lastweek"), QStringLiteral("/web/week?date={lastweek}"), &WebTeam::lead, QStringLiteral("table.week")},
        {QStringLiteral("day"), QStringLiteral("/web/day?date={yesterday}&member={ann}"), &WebTeam::lead, QStringLiteral(".timeline")},
        {QStringLiteral("shot"), QStringLiteral("/web/shot/{shot}"), &WebTeam::lead, QStringLiteral(".picture img")},
        {QStringLiteral("export"), QStringLiteral("/web/export"), &WebTeam::lead, QStringLiteral("form")},
        {QStringLiteral("member-day"), QStringLiteral("/web/day?date={yesterday}"), &WebTeam::ann, QStringLiteral(".timeline")},
        {QStringLiteral("member-refused"), QStringLiteral("/web/week"), &WebTeam::ann, QStringLiteral("main h1")},
        {QStringLiteral("admin-refused"), QStringLiteral("/web/admin/members"), &WebTeam::ann, QStringLiteral("main h1")},
        {QStringLiteral("admin-members"), QStringLiteral("/web/admin/members"), &WebTeam::lead, QStringLiteral("main table")},
        {QStringLiteral("admin-member"), QStringLiteral("/web/admin/members/{ann}"), &WebTeam::lead, QStringLiteral("main form")},
        {QStringLiteral("admin-projects"), QStringLiteral("/web/admin/projects"), &WebTeam::lead, QStringLiteral("main table")},
        {QStringLiteral("admin-project"), QStringLiteral("/web/admin/projects/{website}"), &WebTeam::lead, QStringLiteral("main form")},
        {QStringLiteral("admin-settings"), QStringLiteral("/web/admin/settings"), &WebTeam::lead, QStringLiteral("main form")},
        {QStringLiteral("admin-audit"), QStringLiteral("/web/admin/audit"), &WebTeam::lead, QStringLiteral("main ol.audit")},
    };
    // A few changes through the admin commands, so the audit log has rows.
    for (const QStringList &change : {QStringList{"setting", "screenshot_interval", "10"},
                                      QStringList{"task", "add", QString::number(team.website), "Review"},
                                      QStringList{"member", "role", team.ben.email, "manager"},
                                      QStringList{"member", "role", team.ben.email, "member"}}) {
        if (server.admin(change) != 0) {
            err << change.join(QLatin1Char(' ')) << ": " << server.lastOutput() << "\n";
            return 1;
        }
    }
    auto fill = [&](QString path) {
        return path.replace(QStringLiteral("{yesterday}"), WebTeam::yesterday(team.ann).toString(Qt::ISODate))
            .replace(QStringLiteral("{lastweek}"), WebTeam::yesterday(team.ann).addDays(-7).toString(Qt::ISODate))
            .replace(QStringLiteral("{ann}"), QString::number(team.ann.id))
            .replace(QStringLiteral("{website}"), QString::number(team.website))
            .replace(QStringLiteral("{shot}"), QString::number(team.annShotsYesterday.value(2)));
    };
    auto at = [&](const QString &path) { return server.baseUrl().resolved(QUrl(path)).toString(); };

    const WebTeam::Person *signedIn = nullptr;
    auto signInAs = [&](const WebTeam::Person *who) {
        if (signedIn == who)
            return true;
        signedIn = nullptr;
        if (!WebTeam::signIn(browser, server.baseUrl(), who))
            return false;
        signedIn = who;
        return true;
    };

    int written = 0;
    for (const Page &page : pages) {
        if (!signInAs(page.who ? &(team.*page.who) : nullptr)) {
            err << page.name << ": cannot sign in: " << browser.error() << "\n";
            return 1;
        }
        for (int width : {1440, 390}) {
            for (Browser::Scheme scheme : {Browser::Scheme::light, Browser::Scheme::dark}) {
                if (!browser.setViewport(width, width > 800 ? 900 : 844) || !browser.setScheme(scheme)
                    || !browser.open(at(fill(page.path))) || !browser.waitFor(page.waitFor)) {
                    err << page.name << ": " << browser.error() << "\n";
                    return 1;
                }
                // Lazy images below the fold load for the whole-page picture.
                browser.run(QStringLiteral("document.querySelectorAll('img[loading=lazy]').forEach(i => i.loading = 'eager');"));
                if (!browser.waitUntil(QStringLiteral("return [...document.images].every(i => i.complete);"), 15000))
                    err << page.name << ": " << browser.error() << "\n";
                const QString file = QStringLiteral("%1/%2-%3-%4.png")
                                         .arg(out, page.name)
                                         .arg(width)
                                         .arg(scheme == Browser::Scheme::dark ? QStringLiteral("dark") : QStringLiteral("light"));
                QFile f(file);
                const QByteArray png = browser.screenshot(true);
                if (png.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(png) != png.size()) {
                    err << file << ": not written: " << browser.error() << "\n";
                    return 1;
                }
                QTextStream(stdout) << file << "\n";
                ++written;
            }
        }
    }
    QTextStream(stdout) << written << " screenshots\n";
    return 0;
}
