#include "WebTeam.h"

#include "Browser.h"

#include "Calendar.h"
#include "Credentials.h"
#include "Database.h"
#include "DiskBlobStore.h"
#include "ServerProcess.h"
#include "Store.h"

#include <QBuffer>
#include <QColor>
#include <QUrl>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

namespace {

constexpr qint64 minute = 60 * 1000;

// A desktop-like picture: a coloured backdrop with a few windows, so the
// pages show something that reads as a screenshot.
QByteArray picture(int variant)
{
    static const QColor backdrops[] = {QColor(0x0A2A21), QColor(0x231F45), QColor(0x10303F), QColor(0x3A2D0F)};
    static const QColor accents[] = {QColor(0x2CC48B), QColor(0x7D6DF0), QColor(0x2F9BDC), QColor(0xE9A520)};
    QImage image(960, 600, QImage::Format_RGB32);
    image.fill(backdrops[variant % 4]);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 0, 960, 28, QColor(0x101113));
    for (int w = 0; w < 2 + variant % 2; ++w) {
        const QRect r(60 + w * 170 + variant * 20, 70 + w * 60, 520 - w * 60, 380 - w * 40);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xF8F8F7));
        p.drawRoundedRect(r, 10, 10);
        p.setBrush(QColor(0xE9E9E7));
        p.drawRoundedRect(QRect(r.x(), r.y(), r.width(), 34), 10, 10);
        p.setBrush(accents[(variant + w) % 4]);
        for (int line = 0; line < 8; ++line)
            p.drawRoundedRect(QRect(r.x() + 24, r.y() + 56 + line * 30, (r.width() - 48) * (3 + (line * 7 + w) % 5) / 8, 12), 6, 6);
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

} // namespace

QDate WebTeam::yesterday(const Person &person)
{
    return QDateTime::currentDateTime().toTimeZone(Calendar::zone(person.timeZone)).date().addDays(-1);
}

bool WebTeam::seed(ServerProcess &server)
{
    if (!Credentials::init())
        return false;
    Database db(server.databasePath());
    db.migrate();
    const qint64 now = Store::systemNow();
    // Members made a month ago, so last week's entries count as plausible.
    Store past(db, [now] { return now - 30LL * 24 * 60 * minute; });
    Store store(db);
    DiskBlobStore blobs(server.dataDir() + QStringLiteral("/screenshots"));

    lead = {0, QStringLiteral("rosa@example.com"), QStringLiteral("rosa's long password"), QStringLiteral("Rosa Ortega"),
            QStringLiteral("admin"), QStringLiteral("Europe/Berlin")};
    manager = {0, QStringLiteral("chen@example.com"), QStringLiteral("chen's long password"), QStringLiteral("Chen Wu"),
               QStringLiteral("manager"), QStringLiteral("Europe/Berlin")};
    ann = {0, QStringLiteral("ann@example.com"), QStringLiteral("ann's long password"), QStringLiteral("Ann Weber"),
           QStringLiteral("member"), QStringLiteral("Europe/Berlin")};
    ben = {0, QStringLiteral("ben@example.com"), QStringLiteral("ben's long password"), QStringLiteral("Ben Okafor"),
           QStringLiteral("member"), QStringLiteral("America/New_York")};
    for (Person *p : {&lead, &manager, &ann, &ben})
        p->id = past.addMember(p->email, p->name, p->role, Credentials::hashPassword(p->password), p->timeZone);

    website = store.addProject(QStringLiteral("Client portal"));
    mobile = store.addProject(QStringLiteral("Mobile app"));
    design = *store.addTask(website, QStringLiteral("Design system"));
    const qint64 build = *store.addTask(website, QStringLiteral("Build"));
    for (const Person *p : {&lead, &ann, &ben}) {
        store.assign(p->id, website);
        store.assign(p->id, mobile);
    }

    static const QString apps[] = {QStringLiteral("Code editor"), QStringLiteral("Web browser"), QStringLiteral("Terminal"),
                                   QStringLiteral("Team chat"), QStringLiteral("Design tool")};
    QList<QByteArray> pictures;
    for (int v = 0; v < 4; ++v)
        pictures.append(picture(v));
    const ScreenshotLimits unlimited{1 << 30, 1 << 30};
    QRandomGenerator random(25);
    int serial = 0;

    for (const Person *p : {&lead, &ann, &ben}) {
        const QTimeZone zone = Calendar::zone(p->timeZone);
        const QDate today = QDateTime::fromMSecsSinceEpoch(now, zone).date();
        for (int back = 8; back >= 0; --back) {
            const QDate date = today.addDays(-back);
            if (date.dayOfWeek() > 5 && p != &ben)
                continue; // Ben works some Saturdays
            if (date.dayOfWeek() == 7)
                continue;
            const qint64 midnight = Calendar::day(date, zone).from;
            struct Block {
                int from, to; // minutes after midnight
                qint64 project;
                std::optional<qint64> task;
                QString unknown;
            };
            QList<Block> blocks{{9 * 60 + int(random.bounded(20)), 12 * 60 + 20, website, design, {}},
                                {13 * 60 + 5, 15 * 60 + int(random.bounded(40)), mobile, {}, {}},
                                {15 * 60 + 50, 17 * 60 + 30 + int(random.bounded(30)), website, build, {}}};
            if (p == &ben && back == 2)
                blocks[1].unknown = QStringLiteral("Old client"); // not a project of the workspace
            for (const Block &b : blocks) {
                const qint64 start = midnight + b.from * minute;
                const qint64 stop = std::min(midnight + b.to * minute, now - 5 * minute);
                if (stop <= start + 10 * minute)
                    continue;
                Store::StartRequest s;
                s.sessionId = QStringLiteral("seed-%1").arg(++serial);
                if (b.unknown.isEmpty()) {
                    s.project.id = b.project;
                    s.project.text = QString::number(b.project);
                    if (b.task) {
                        s.task.id = *b.task;
                        s.task.text = QString::number(*b.task);
                    }
                } else {
                    s.project.text = b.unknown;
                }
                s.startedAt = start;
                store.start(p->id, s);
                Store::StopRequest e;
                e.sessionId = s.sessionId;
                e.stoppedAt = stop;
                store.stop(p->id, e);

                QList<Store::ActivitySample> samples;
                const double base = 35 + random.bounded(45);
                for (qint64 t = start + minute; t <= stop; t += minute) {
                    Store::ActivitySample a;
                    a.clientId = QStringLiteral("a-%1").arg(++serial);
                    a.trackedAt = t;
                    a.percentage = std::clamp(base + random.bounded(50) - 25, 0.0, 100.0);
                    a.keystrokes = qint64(a.percentage * 1.3);
                    a.mouseClicks = qint64(a.percentage / 4);
                    samples.append(a);
                }
                store.addActivity(p->id, samples);

                QList<Store::UsageRecord> usage;
                for (qint64 t = start; t < stop;) {
                    const qint64 end = std::min(stop, t + (8 + random.bounded(30)) * minute);
                    usage.append({QStringLiteral("u-%1").arg(++serial), std::nullopt,
                                  apps[random.bounded(5)], {}, {}, t, end});
                    t = end;
                }
                store.addUsage(p->id, usage);

                if (back > 1)
                    continue;
                for (qint64 t = start + 7 * minute; t < stop; t += 20 * minute) {
                    const QByteArray &bytes = pictures[(serial / 3) % pictures.size()];
                    const auto key = blobs.put(bytes);
                    if (!key)
                        return false;
                    Store::Screenshot shot;
                    shot.clientId = QStringLiteral("s-%1").arg(++serial);
                    shot.capturedAt = t;
                    shot.visualHash = QStringLiteral("ffffffff00000000");
                    shot.blobKey = *key;
                    shot.size = bytes.size();
                    store.addScreenshot(p->id, shot, unlimited);
                    if (p == &ann && back == 1)
                        annShotsYesterday.append(store.screenshotByClientId(p->id, shot.clientId)->id);
                }
            }
        }
    }
    // A start three days ahead of the server's clock: kept for review, out of the totals.
    Store::StartRequest ahead;
    ahead.sessionId = QStringLiteral("seed-ahead");
    ahead.project.id = website;
    ahead.project.text = QString::number(website);
    ahead.startedAt = now + 3 * 24 * 60 * minute;
    store.start(ben.id, ahead);
    return true;
}

bool WebTeam::signIn(Browser &browser, const QUrl &base, const Person *who)
{
    const auto at = [&](const char *path) { return base.resolved(QUrl(QString::fromLatin1(path))).toString(); };
    const QString email = QStringLiteral("input[name=email]");
    const QString signOut = QStringLiteral("header form[action='/web/logout'] button");
    if (!browser.open(at("/web/login")) || !browser.waitFor(email + QStringLiteral(", ") + signOut))
        return false;
    // A session still open from before ends first.
    if (browser.count(signOut) > 0 && (!browser.click(signOut) || !browser.waitFor(email)))
        return false;
    if (!who)
        return true;
    return browser.type(email, who->email) && browser.type(QStringLiteral("input[name=password]"), who->password)
        && browser.click(QStringLiteral("form[action='/web/login'] button")) && browser.waitFor(signOut);
}
