// The store's contract, run once on SQLite and once on a real PostgreSQL
// started for the test: the same SQL must behave the same on both.
#include "AuditLog.h"
#include "Credentials.h"
#include "Database.h"
#include "DiskBlobStore.h"
#include "Schema.h"
#include "SignInThrottle.h"
#include "Store.h"
#include "WorkspaceAdmin.h"

#include "PostgresCluster.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

namespace {
constexpr qint64 minute = 60 * 1000;
constexpr qint64 t0 = 1767225600000; // 2026-01-01T00:00:00Z
} // namespace

class TestServerStore : public QObject {
    Q_OBJECT
    std::unique_ptr<PostgresCluster> m_pg;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Store> m_store;
    qint64 m_now = t0;
    qint64 m_ann = 0, m_ben = 0, m_project = 0, m_task = 0;

    void backends()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
    }

    // A fresh, migrated database of the row's backend with two members and
    // a project with one task assigned to Ann; migrated only up to
    // `schemaVersion` when one is given.
    void open(int schemaVersion = -1)
    {
        QFETCH(QString, backend);
        m_store.reset();
        m_db.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_now = t0;
        if (backend == QLatin1String("sqlite")) {
            m_db = std::make_unique<Database>(m_dir->path() + QStringLiteral("/store.sqlite"));
        } else {
            m_db = std::make_unique<Database>(m_pg->url());
            m_db->run(QStringLiteral("DROP SCHEMA public CASCADE"));
            m_db->run(QStringLiteral("CREATE SCHEMA public"));
        }
        m_db->migrate(schemaVersion);
        m_store = std::make_unique<Store>(*m_db, [this] { return m_now; });
        m_ann = m_store->addMember(QStringLiteral("ann@example.org"), QStringLiteral("Ann"), QStringLiteral("member"),
                                   QStringLiteral("-"), {});
        m_ben = m_store->addMember(QStringLiteral("ben@example.org"), QStringLiteral("Ben"), QStringLiteral("member"),
                                   QStringLiteral("-"), {});
        m_project = m_store->addProject(QStringLiteral("Website"));
        m_task = *m_store->addTask(m_project, QStringLiteral("Design"));
        QVERIFY(m_store->assign(m_ann, m_project));
    }

    Store::StartRequest startOf(const QString &session, qint64 at)
    {
        Store::StartRequest r;
        r.sessionId = session;
        r.project.id = m_project;
        r.project.text = QString::number(m_project);
        r.task.id = m_task;
        r.task.text = QString::number(m_task);
        r.startedAt = at;
        return r;
    }
    Store::StopRequest stopOf(const QString &session, std::optional<qint64> entry, qint64 at)
    {
        Store::StopRequest r;
        r.sessionId = session;
        r.entryId = entry;
        r.stoppedAt = at;
        return r;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Credentials::init());
        m_pg = std::make_unique<PostgresCluster>();
        QVERIFY2(m_pg->start(), qPrintable(m_pg->error()));
    }
    void cleanupTestCase()
    {
        m_store.reset();
        m_db.reset();
        m_pg.reset();
    }

    void migrationsRunOnceAndRefuseANewerSchema_data() { backends(); }
    void migrationsRunOnceAndRefuseANewerSchema()
    {
        open();
        QCOMPARE(m_db->schemaVersion(), int(Schema::migrations().size()));
        m_db->migrate(); // nothing to do, nothing lost
        QCOMPARE(m_store->members().size(), 2);
        m_db->run(QStringLiteral("INSERT INTO schema_version (version) VALUES (99)"));
        QVERIFY_THROWS_EXCEPTION(StoreError, m_db->migrate());
    }

    // A database of the version before the audit log gains it and keeps
    // every member, project, assignment, entry and setting it had.
    void migrationToTheAuditLogKeepsEverything_data() { backends(); }
    void migrationToTheAuditLogKeepsEverything()
    {
        open(2);
        QCOMPARE(m_db->schemaVersion(), 2);
        m_store->setSetting(QStringLiteral("screenshot_interval"), QStringLiteral("10"));
        const Store::Entry e = m_store->start(m_ann, startOf(QStringLiteral("s1"), t0));
        const QString token = m_store->createSession(m_ann);

        m_db->migrate();
        QCOMPARE(m_db->schemaVersion(), int(Schema::migrations().size()));
        QCOMPARE(m_store->members().size(), 2);
        QCOMPARE(m_store->projectsFor(m_ann).value(0).tasks.value(0).id, m_task);
        QCOMPARE(m_store->openEntry(m_ann)->id, e.id);
        QCOMPARE(m_store->memberForToken(token)->id, m_ann);
        QCOMPARE(m_store->workspaceSettings().screenshotInterval, 10);
        AuditLog audit(*m_db);
        QVERIFY(audit.recent(10).isEmpty());
        WorkspaceAdmin admin(*m_store);
        QVERIFY(admin.addProject(WorkspaceAdmin::Actor::commandLine(), QStringLiteral("Intranet")).ok());
        QCOMPARE(audit.recent(10).size(), 1);
    }

    // Each change writes exactly one audit row with it; a refused or
    // unchanged one writes nothing.
    void adminChangesAreAuditedOnce_data() { backends(); }
    void adminChangesAreAuditedOnce()
    {
        open();
        WorkspaceAdmin admin(*m_store);
        const auto cli = WorkspaceAdmin::Actor::commandLine();
        const auto rows = [&] { return admin.audit().recent(1000).size(); };

        WorkspaceAdmin::Invite invite{QStringLiteral(" Cleo@Example.org "), {}, QStringLiteral("admin"),
                                      QStringLiteral("Europe/Berlin"), QStringLiteral("12345678")};
        const auto added = admin.invite(cli, invite);
        QVERIFY2(added.ok(), qPrintable(added.error));
        const auto cleo = m_store->memberById(added.id);
        QCOMPARE(cleo->email, QStringLiteral("cleo@example.org"));
        QCOMPARE(cleo->name, QStringLiteral("cleo"));
        QVERIFY(Credentials::verifyPassword(QStringLiteral("12345678"), cleo->passwordHash));
        QCOMPARE(rows(), 1);
        const AuditLog::Row row = admin.audit().recent(1).value(0);
        QCOMPARE(row.actor, QStringLiteral("command line"));
        QCOMPARE(row.action, QStringLiteral("member.invite"));
        QCOMPARE(row.target, QStringLiteral("cleo@example.org"));
        QCOMPARE(row.at, m_now);

        // Refusals: taken e-mail, short password, bad zone or role; nothing written.
        QVERIFY(!admin.invite(cli, invite).ok());
        invite.email = QStringLiteral("dan@example.org");
        for (auto bad : {&WorkspaceAdmin::Invite::password, &WorkspaceAdmin::Invite::timeZone,
                         &WorkspaceAdmin::Invite::role}) {
            WorkspaceAdmin::Invite wrong = invite;
            wrong.*bad = bad == &WorkspaceAdmin::Invite::password ? QStringLiteral("1234567") : QStringLiteral("Mars/Base");
            QVERIFY(!admin.invite(cli, wrong).ok());
        }
        invite.email = QStringLiteral("dan@");
        QVERIFY(!admin.invite(cli, invite).ok());
        QCOMPARE(m_store->members().size(), 3);
        QCOMPARE(rows(), 1);

        // A change that changes nothing is not logged.
        QVERIFY(admin.setTimeZone(cli, m_ann, QStringLiteral("Asia/Tokyo")).ok());
        QVERIFY(admin.setTimeZone(cli, m_ann, QStringLiteral("Asia/Tokyo")).ok());
        QVERIFY(admin.setProjectArchived(cli, m_project, true).ok());
        QVERIFY(admin.setProjectArchived(cli, m_project, true).ok());
        QVERIFY(m_store->projectsFor(m_ann).isEmpty());
        QVERIFY(admin.setProjectArchived(cli, m_project, false).ok());
        QVERIFY(admin.setTaskArchived(cli, m_task, true).ok());
        QVERIFY(m_store->projectsFor(m_ann).value(0).tasks.isEmpty());
        QVERIFY(admin.unassign(cli, m_ann, m_project).ok());
        QVERIFY(admin.unassign(cli, m_ann, m_project).ok());
        QVERIFY(m_store->projectsFor(m_ann).isEmpty());
        QCOMPARE(rows(), 6);
        QVERIFY(!admin.renameTask(cli, m_task + 100, QStringLiteral("x")).ok());
        QVERIFY(!admin.addProject(cli, QStringLiteral(" website ")).ok()); // taken, whatever its case
        QVERIFY(!admin.addProject(cli, QString(WorkspaceAdmin::maxNameLength + 1, QLatin1Char('x'))).ok());
        QCOMPARE(rows(), 6);

        // Settings at their bounds, as the client reads them.
        QVERIFY(!admin.setScreenshotInterval(cli, QStringLiteral("0")).ok());
        QVERIFY(!admin.setScreenshotInterval(cli, QStringLiteral("1441")).ok());
        QVERIFY(!admin.setScreenshotInterval(cli, QStringLiteral("5 min")).ok());
        QVERIFY(admin.setScreenshotInterval(cli, QStringLiteral(" 1440 ")).ok());
        QCOMPARE(m_store->workspaceSettings().screenshotInterval, 1440);
        QVERIFY(admin.setRetentionDays(cli, QStringLiteral("90")).ok());
        QVERIFY(admin.setRetentionDays(cli, QString()).ok()); // keep everything
        QCOMPARE(m_store->workspaceSettings().retentionDays, 0);
        QVERIFY(admin.setScreenshots(cli, false).ok());
        QVERIFY(!m_store->workspaceSettings().screenshots);
        QCOMPARE(rows(), 10);
        QCOMPARE(admin.audit().recent(1).value(0).detail, QStringLiteral("default → off"));
        // Paging back through the log.
        const auto newest = admin.audit().recent(4);
        QCOMPARE(admin.audit().recent(100, newest.last().id).size(), 6);
    }

    // Only owners and admins change the workspace, only owners change owners,
    // and the last enabled owner or admin cannot be disabled or demoted.
    void adminRightsKeepSomeoneInCharge_data() { backends(); }
    void adminRightsKeepSomeoneInCharge()
    {
        open();
        WorkspaceAdmin admin(*m_store);
        const auto cli = WorkspaceAdmin::Actor::commandLine();
        const auto as = [&](qint64 id) { return WorkspaceAdmin::Actor::of(*m_store->memberById(id)); };
        QVERIFY(admin.setRole(cli, m_ann, QStringLiteral("manager")).ok());
        QVERIFY(!admin.addProject(as(m_ann), QStringLiteral("Side project")).ok());
        QVERIFY(!admin.setRole(as(m_ann), m_ann, QStringLiteral("admin")).ok());

        QVERIFY(admin.setRole(cli, m_ben, QStringLiteral("admin")).ok());
        const auto ben = as(m_ben);
        QVERIFY(!admin.setDisabled(ben, m_ben, true).ok()); // not oneself
        QVERIFY(!admin.setRole(ben, m_ben, QStringLiteral("member")).ok()); // the last one in charge
        QVERIFY(!admin.setRole(ben, m_ann, QStringLiteral("owner")).ok()); // admins make no owners
        QVERIFY(admin.setRole(cli, m_ann, QStringLiteral("owner")).ok());
        QVERIFY(!admin.setDisabled(ben, m_ann, true).ok()); // nor change one
        QVERIFY(!admin.signOutEverywhere(ben, m_ann).ok());
        QVERIFY(admin.setRole(ben, m_ben, QStringLiteral("member")).ok()); // Ann is in charge now
        QVERIFY(!admin.setDisabled(cli, m_ann, true).ok());
        QVERIFY(!m_store->memberById(m_ann)->disabled);

        // Disabling ends the member's sessions.
        QVERIFY(admin.setRole(as(m_ann), m_ben, QStringLiteral("admin")).ok());
        const QString token = m_store->createSession(m_ann);
        QVERIFY(admin.setDisabled(as(m_ann), m_ann, false).ok());
        QVERIFY(m_store->memberForToken(token));
        QVERIFY(!admin.setDisabled(as(m_ben), m_ann, true).ok()); // Ann is an owner
        QVERIFY(admin.setDisabled(cli, m_ann, true).ok());
        QVERIFY(!m_store->memberForToken(token));
    }

    // A write inside another joins it: an exception anywhere undoes both.
    void nestedWritesCommitOrRollBackTogether_data() { backends(); }
    void nestedWritesCommitOrRollBackTogether()
    {
        open();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_db->write([&] {
            m_store->addProject(QStringLiteral("Half"));
            throw std::runtime_error("interrupted");
        }));
        m_db->write([&] {
            m_store->addProject(QStringLiteral("Whole"));
            m_store->setSetting(QStringLiteral("screenshots"), QStringLiteral("off"));
        });
        QStringList names;
        for (const Store::Project &p : m_store->allProjects())
            names << p.name;
        QCOMPARE(names, (QStringList{QStringLiteral("Website"), QStringLiteral("Whole")}));
        QVERIFY(!m_store->workspaceSettings().screenshots);
    }

    void sessionsSlideAndExpire_data() { backends(); }
    void sessionsSlideAndExpire()
    {
        open();
        const QString token = m_store->createSession(m_ann);
        QCOMPARE(m_store->memberForToken(token)->id, m_ann);
        QVERIFY(!m_store->memberForToken(token + QLatin1Char('x')));
        QVERIFY(!m_store->memberForToken({}));

        // Idle: valid up to the last millisecond, gone at the boundary.
        m_now += Store::sessionIdleMs - 1;
        QVERIFY(m_store->memberForToken(token)); // and this use slides the window
        m_now += Store::sessionIdleMs - 1;
        QVERIFY(m_store->memberForToken(token));
        m_now += Store::sessionIdleMs;
        QVERIFY(!m_store->memberForToken(token));
        QVERIFY(!m_store->memberForToken(token)); // and it stays gone

        // The absolute cap holds however often the session is used.
        const QString busy = m_store->createSession(m_ann);
        const qint64 signedIn = m_now;
        while (m_now + 20LL * 24 * 3600 * 1000 < signedIn + Store::sessionMaxMs) {
            m_now += 20LL * 24 * 3600 * 1000;
            QVERIFY(m_store->memberForToken(busy));
        }
        m_now = signedIn + Store::sessionMaxMs;
        QVERIFY(!m_store->memberForToken(busy));

        // Disabling ends every session; logout ends one.
        const QString a = m_store->createSession(m_ann), b = m_store->createSession(m_ann);
        m_store->endSession(a);
        QVERIFY(!m_store->memberForToken(a));
        QVERIFY(m_store->memberForToken(b));
        QVERIFY(m_store->setDisabled(QStringLiteral("ANN@example.org"), true));
        QVERIFY(!m_store->memberForToken(b));
    }

    void startsAreIdempotentAndOneEntryStaysOpen_data() { backends(); }
    void startsAreIdempotentAndOneEntryStaysOpen()
    {
        open();
        const Store::Entry a = m_store->start(m_ann, startOf(QStringLiteral("A"), t0));
        QVERIFY(!a.flagged);
        QCOMPARE(m_store->start(m_ann, startOf(QStringLiteral("A"), t0 + minute)).id, a.id);
        QCOMPARE(m_store->start(m_ann, startOf(QStringLiteral("A"), t0)).startedAt, t0);
        // The same session id of another member is another entry.
        QVERIFY(m_store->start(m_ben, startOf(QStringLiteral("A"), t0)).id != a.id);

        // A later start closes A where it begins.
        const Store::Entry b = m_store->start(m_ann, startOf(QStringLiteral("B"), t0 + 10 * minute));
        QCOMPARE(m_store->entry(a.id)->stoppedAt, t0 + 10 * minute);
        QCOMPARE(m_store->entry(a.id)->stopReason, QStringLiteral("superseded"));
        QCOMPARE(m_store->openEntry(m_ann)->id, b.id);
        // A start older than the open entry (late, from another device) is
        // kept, closed where the open one begins; B stays open.
        const Store::Entry c = m_store->start(m_ann, startOf(QStringLiteral("C"), t0 + 5 * minute));
        QCOMPARE(c.stoppedAt, t0 + 10 * minute);
        QCOMPARE(m_store->openEntry(m_ann)->id, b.id);

        // A's own stop, earlier than the superseding start, wins.
        QCOMPARE(m_store->stop(m_ann, stopOf(QStringLiteral("A"), a.id, t0 + 8 * minute))->stoppedAt, t0 + 8 * minute);
        // But a later one cannot make A overlap B.
        QCOMPARE(m_store->stop(m_ann, stopOf(QStringLiteral("A"), a.id, t0 + 20 * minute))->stoppedAt, t0 + 8 * minute);

        // The database itself refuses a second open entry.
        QVERIFY_THROWS_EXCEPTION(StoreError, m_db->run(QStringLiteral("INSERT INTO time_entries (member_id, client_session_id,"
                                                                      " started_at, created_at) VALUES (?, 'X', 0, 0)"),
                                                       {m_ann}));
    }

    void stopsMatchTheSessionAndOnlyTheMembersEntries_data() { backends(); }
    void stopsMatchTheSessionAndOnlyTheMembersEntries()
    {
        open();
        const Store::Entry a = m_store->start(m_ann, startOf(QStringLiteral("A"), t0));
        // Ben names Ann's entry: not his, nothing happens.
        QVERIFY(!m_store->stop(m_ben, stopOf(QStringLiteral("Z"), a.id, t0 + minute)));
        QVERIFY(!m_store->entry(a.id)->stoppedAt);
        // Null entry id: matched by the session.
        const auto stopped = m_store->stop(m_ann, stopOf(QStringLiteral("A"), std::nullopt, t0 + 2 * minute));
        QCOMPARE(stopped->id, a.id);
        QCOMPARE(stopped->stoppedAt, t0 + 2 * minute);
        // Repeats change nothing.
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m_store->stop(m_ann, stopOf(QStringLiteral("A"), a.id, t0 + 9 * minute))->stoppedAt, t0 + 2 * minute);
        // An adopted timer: a new session id with the entry's id.
        const Store::Entry b = m_store->start(m_ann, startOf(QStringLiteral("B"), t0 + 3 * minute));
        QCOMPARE(m_store->stop(m_ann, stopOf(QStringLiteral("NEW"), b.id, t0 + 4 * minute))->id, b.id);
        // A stop before its start does not make a negative entry.
        const Store::Entry c = m_store->start(m_ann, startOf(QStringLiteral("C"), t0 + 5 * minute));
        QCOMPARE(m_store->stop(m_ann, stopOf(QStringLiteral("C"), c.id, t0))->stoppedAt, t0 + 5 * minute);
        QVERIFY(!m_store->stop(m_ann, stopOf(QStringLiteral("nothing"), std::nullopt, t0)));
    }

    void unknownReferencesAreFlagged_data() { backends(); }
    void unknownReferencesAreFlagged()
    {
        open();
        const qint64 other = m_store->addProject(QStringLiteral("Not Ann's"));
        auto flagged = [&](const QString &session, Store::Ref project, Store::Ref task) {
            Store::StartRequest r = startOf(session, t0);
            r.project = project;
            r.task = task;
            r.deviceId = 777;
            const Store::Entry e = m_store->start(m_ann, r);
            m_store->stop(m_ann, stopOf(session, e.id, t0 + minute));
            return e;
        };
        QVERIFY(!flagged(QStringLiteral("1"), {m_project, {}}, {}).flagged); // no task is fine
        QVERIFY(flagged(QStringLiteral("2"), {other, {}}, {}).flagged);
        QVERIFY(flagged(QStringLiteral("3"), {{}, QStringLiteral("project-3")}, {}).flagged);
        QVERIFY(flagged(QStringLiteral("4"), {m_project, {}}, {m_task + 99, {}}).flagged);
        QVERIFY(flagged(QStringLiteral("5"), {}, {}).flagged);
        const Store::Entry e = flagged(QStringLiteral("6"), {{}, QStringLiteral("project-3")}, {{}, QStringLiteral("task-0-1")});
        QCOMPARE(e.projectRef, QStringLiteral("project-3"));
        QCOMPARE(e.taskRef, QStringLiteral("task-0-1"));
        QVERIFY(!e.deviceId);
    }

    void repeatedReportsAreStoredOnce_data() { backends(); }
    void repeatedReportsAreStoredOnce()
    {
        open();
        Store::Device d;
        d.uuid = QStringLiteral("UUID-1");
        const qint64 device = *m_store->registerDevice(m_ann, d, QStringLiteral("t"));
        QCOMPARE(m_store->registerDevice(m_ann, d, QStringLiteral("t")), device);
        // Another member's UUID is refused and changes nothing, and that
        // member's data does not name the device.
        d.name = QStringLiteral("renamed");
        QVERIFY(!m_store->registerDevice(m_ben, d, QStringLiteral("t")));
        QVERIFY(!m_store->ownDevice(m_ben, device));

        const Store::Entry a = m_store->start(m_ann, startOf(QStringLiteral("A"), t0));
        Store::ActivitySample s;
        s.clientId = QStringLiteral("S1");
        s.deviceId = device;
        s.entryId = a.id;
        s.keystrokes = 10;
        s.trackedAt = t0 + minute;
        QCOMPARE(m_store->addActivity(m_ann, {s, s}), 1);
        QCOMPARE(m_store->addActivity(m_ann, {s}), 0);
        // Ben's sample may not point at Ann's entry.
        QCOMPARE(m_store->addActivity(m_ben, {s}), 1);
        QCOMPARE(m_store->activity(m_ben, 0, t0 + 2 * minute).at(0).entryId, std::nullopt);
        QCOMPARE(m_store->activity(m_ben, 0, t0 + 2 * minute).at(0).deviceId, std::nullopt);

        Store::UsageRecord u;
        u.clientId = QStringLiteral("U1");
        u.appName = QStringLiteral("Editor");
        u.startedAt = t0;
        u.endedAt = t0 + minute;
        QCOMPARE(m_store->addUsage(m_ann, {u}), 1);
        QCOMPARE(m_store->addUsage(m_ann, {u}), 0);

        Store::Screenshot shot;
        shot.clientId = QStringLiteral("L1");
        shot.blobKey = QStringLiteral("aa/1.jpg");
        shot.capturedAt = t0;
        QCOMPARE(m_store->addScreenshot(m_ann, shot), Store::Added::added);
        shot.blobKey = QStringLiteral("aa/2.jpg");
        QCOMPARE(m_store->addScreenshot(m_ann, shot), Store::Added::duplicate);
        QCOMPARE(m_store->screenshotByClientId(m_ann, QStringLiteral("L1"))->blobKey, QStringLiteral("aa/1.jpg"));
    }

    void purgeRemovesExactlyWhatIsOlder_data() { backends(); }
    void purgeRemovesExactlyWhatIsOlder()
    {
        open();
        DiskBlobStore blobs(m_dir->path() + QStringLiteral("/shots"));
        QList<QString> keys;
        for (int i = 0; i < 3; ++i) {
            Store::Screenshot shot;
            shot.clientId = QString::number(i);
            shot.capturedAt = t0 + i * minute;
            shot.blobKey = *blobs.put("\xFF\xD8\xFF");
            keys.append(shot.blobKey);
            QCOMPARE(m_store->addScreenshot(m_ann, shot), Store::Added::added);
            Store::ActivitySample s;
            s.clientId = QString::number(i);
            s.trackedAt = t0 + i * minute;
            m_store->addActivity(m_ann, {s});
        }
        const Store::Entry e = m_store->start(m_ann, startOf(QStringLiteral("A"), t0 - 60 * minute));
        m_store->stop(m_ann, stopOf(QStringLiteral("A"), e.id, t0 - 30 * minute));

        const Store::PurgeResult r = m_store->purge(t0 + minute, blobs);
        QCOMPARE(r.screenshots, 1);
        QCOMPARE(r.activity, 1);
        QVERIFY(!blobs.get(keys[0]));
        QVERIFY(blobs.get(keys[1]));
        QCOMPARE(m_store->screenshots(m_ann).size(), 2);
        QVERIFY(m_store->entry(e.id)); // time entries are the timesheet: kept
    }

    // The database server goes away mid-work: calls fail with StoreError,
    // nothing half-written stays, and work resumes when it is back.
    void aLostDatabaseFailsCleanlyAndRecovers_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
    }
    void aLostDatabaseFailsCleanlyAndRecovers()
    {
        open();
        const Store::Entry a = m_store->start(m_ann, startOf(QStringLiteral("A"), t0));
        QVERIFY(m_pg->stopServer());
        QVERIFY_THROWS_EXCEPTION(StoreError, m_store->stop(m_ann, stopOf(QStringLiteral("A"), a.id, t0 + minute)));
        QVERIFY_THROWS_EXCEPTION(StoreError, m_store->openEntry(m_ann));
        QVERIFY2(m_pg->startServer(), qPrintable(m_pg->error()));
        QVERIFY(!m_store->openEntry(m_ann)->stoppedAt);
        QCOMPARE(m_store->stop(m_ann, stopOf(QStringLiteral("A"), a.id, t0 + minute))->stoppedAt, t0 + minute);
    }

    void concurrentWritersDoNotFail_data() { backends(); }
    void concurrentWritersDoNotFail()
    {
        open();
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        QList<qint64> members;
        for (int t = 0; t < 4; ++t)
            members.append(m_store->addMember(QStringLiteral("w%1@example.org").arg(t), QStringLiteral("W"),
                                              QStringLiteral("member"), QStringLiteral("-"), {}));
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 20; ++i) {
                    try {
                        const QString session = QStringLiteral("%1-%2").arg(t).arg(i);
                        Store::StartRequest r;
                        r.sessionId = session;
                        r.startedAt = t0 + i * minute;
                        const Store::Entry e = m_store->start(members[t], r);
                        Store::StopRequest s;
                        s.sessionId = session;
                        s.stoppedAt = r.startedAt + 30000;
                        m_store->stop(members[t], s);
                        Store::ActivitySample a;
                        a.clientId = session;
                        a.entryId = e.id;
                        a.trackedAt = s.stoppedAt;
                        m_store->addActivity(members[t], {a});
                    } catch (const StoreError &e) {
                        qWarning("%s", e.what());
                        ++failures;
                    }
                }
            });
        }
        for (auto &t : threads)
            t.join();
        QCOMPARE(failures.load(), 0);
        for (qint64 m : members)
            QCOMPARE(m_store->closedEntries(m, 0, t0 + 3600 * minute).size(), 20);
    }

    // Limits counted in the database hold for writers on separate
    // connections (as separate server processes have): parallel uploads of
    // one member and parallel guesses at one account.
    void limitsHoldAcrossConnections_data() { backends(); }
    void limitsHoldAcrossConnections()
    {
        open();
        QFETCH(QString, backend);
        const QString location = backend == QLatin1String("sqlite") ? m_dir->path() + QStringLiteral("/store.sqlite")
                                                                    : m_pg->url();
        std::atomic<int> added{0}, checked{0}, failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back([&, t] {
                try {
                    Database db(location);
                    Store store(db, [] { return t0; });
                    SignInThrottle throttle(db, [] { return t0; }, SignInLimits{3, 50, 15 * minute});
                    for (int i = 0; i < 4; ++i) {
                        Store::Screenshot shot;
                        shot.clientId = QStringLiteral("%1-%2").arg(t).arg(i);
                        shot.blobKey = shot.clientId;
                        added += store.addScreenshot(m_ann, shot, {6, 100}) == Store::Added::added;
                        checked += !throttle.attempt(QStringLiteral("ann@example.org"), QStringLiteral("10.0.0.%1").arg(t)).wait;
                    }
                } catch (const StoreError &e) {
                    qWarning("%s", e.what());
                    ++failures;
                }
            });
        }
        for (auto &t : threads)
            t.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(added.load(), 6);
        QCOMPARE(checked.load(), 3);
    }

    // A read leaves its statement kept; another connection then writes.
    // A write here must not start from the old read's snapshot.
    void writesAfterAnotherConnectionsWrite_data() { backends(); }
    void writesAfterAnotherConnectionsWrite()
    {
        open();
        QFETCH(QString, backend);
        const QString location = backend == QLatin1String("sqlite") ? m_dir->path() + QStringLiteral("/store.sqlite")
                                                                    : m_pg->url();
        m_store->start(m_ann, startOf(QStringLiteral("A"), t0));
        QVERIFY(m_store->openEntry(m_ann));
        std::thread([&] {
            Database db(location);
            Store(db, [] { return t0; }).start(m_ben, startOf(QStringLiteral("B"), t0));
        }).join();
        QVERIFY(m_store->heartbeat(m_ann, std::nullopt, t0 + minute));
        QVERIFY(m_store->stop(m_ann, stopOf(QStringLiteral("A"), std::nullopt, t0 + minute)));
    }

    // The window slides; a member's own address, once known, is not locked
    // by others' guesses but has its own limit; an address's limit covers
    // guesses spread over accounts.
    void signInLimitsByAccountAndAddress()
    {
        QTemporaryDir dir;
        Database db(dir.path() + QStringLiteral("/t.sqlite"));
        db.migrate();
        qint64 now = t0;
        SignInThrottle t(db, [&] { return now; }, SignInLimits{3, 5, 1000});
        const QString ann = QStringLiteral("ann@x"), home = QStringLiteral("192.0.2.1");
        t.succeeded(t.attempt(ann, home), ann, home);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!t.attempt(ann, QStringLiteral("10.0.0.%1").arg(i)).wait);
            now += 100;
        }
        // Blocked until the window has passed since the oldest counted one.
        QCOMPARE(t.attempt(ann, QStringLiteral("10.0.1.1")).wait, 700);
        QVERIFY(!t.attempt(ann, home).wait);
        now = t0 + 1200;
        QVERIFY(!t.attempt(ann, QStringLiteral("10.0.1.1")).wait);
        QVERIFY(!t.attempt(ann, home).wait);
        QVERIFY(!t.attempt(ann, home).wait);
        QVERIFY(t.attempt(ann, home).wait); // three failures from home now
        // Five guesses over five accounts lock the address, for any account.
        for (int i = 0; i < 5; ++i)
            QVERIFY(!t.attempt(QStringLiteral("u%1@x").arg(i), QStringLiteral("10.0.0.9")).wait);
        QVERIFY(t.attempt(QStringLiteral("new@x"), QStringLiteral("10.0.0.9")).wait);
        QVERIFY(!t.attempt(QStringLiteral("new@x"), home).wait);
    }
};

QTEST_GUILESS_MAIN(TestServerStore)
#include "tst_serverstore.moc"
