// The shared store: transitions, the queue, and what happens to bad files.
#include "FileSizeLimit.h"
#include "PermissionChecks.h"
#include "Preferences.h"
#include "SessionBus.h"
#include "SharedSuite.h"
#include "TestEnv.h"
#include "TrackingStore.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;

namespace {
// Counts change signals arriving on the session bus.
class SignalCounter : public QObject {
    Q_OBJECT
public:
    int count = 0;
public Q_SLOTS:
    void changed() { ++count; }
};

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

TrackingStore::Clock fixedClock(Instant at)
{
    return [at] { return at; };
}

int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

Instant local(int y, int mo, int d, int h, int mi, int s = 0)
{
    return Instant::fromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}
} // namespace

class TestStore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv::IsolatedHome> m_home;
    SignalCounter m_signals;

    // Waits until the bus has delivered our own signals back to us.
    int settledSignals()
    {
        SessionBus::flush();
        QTest::qWait(50);
        return m_signals.count;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(SessionBus::available(), "the tests run on a private session bus");
        QVERIFY(ChangeSignal::observe(&m_signals, SLOT(changed())));
    }

    void init()
    {
        m_home.reset();
        m_home = std::make_unique<TestEnv::IsolatedHome>();
        settledSignals();
        m_signals.count = 0;
    }

    void pathAndModes()
    {
        TrackingStore::save(TrackingSnapshot{});
        const QString path = SharedSuite::snapshotPath();
        QCOMPARE(path, m_home->config() + u"/K7QW3ZP2LM.com.corvane.native/tracking.snapshot.v1"_s);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        QCOMPARE(::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        // No temporary files left behind.
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 2); // + .lock
    }

    void fallsBackWhenSharedFolderCannotBeMade()
    {
        QVERIFY(QDir().mkpath(m_home->config()));
        writeFile(m_home->config() + u"/K7QW3ZP2LM.com.corvane.native"_s, "a file, not a folder");
        TrackingStore::setRunning(true, Instant::now());
        QCOMPARE(SharedSuite::snapshotPath(), m_home->config() + u"/zimbrel/tracking.snapshot.v1"_s);
        QVERIFY(TrackingStore::load().isRunning);
    }

    void startThenStop()
    {
        const Instant start = local(2025, 3, 7, 9, 0);
        const TrackingSnapshot running = TrackingStore::setRunning(true, start);
        QVERIFY(running.isRunning);
        QCOMPARE(running.startedAt, std::optional<Instant>(start));
        QCOMPARE(running.startSynced, std::optional<bool>(false));
        QVERIFY(!running.entryID);
        QCOMPARE(running.sessionID->size(), 36);
        QCOMPARE(*running.sessionID, running.sessionID->toUpper());
        QCOMPARE(TrackingStore::load(), running);

        // A second start keeps the session and writes nothing.
        const QByteArray before = fileBytes(SharedSuite::snapshotPath());
        QCOMPARE(settledSignals(), 1);
        QCOMPARE(TrackingStore::setRunning(true, start.addSeconds(3)), running);
        QCOMPARE(fileBytes(SharedSuite::snapshotPath()), before);
        QCOMPARE(settledSignals(), 1);

        // The server accepted the start meanwhile.
        TrackingStore::update([](TrackingSnapshot &s) {
            s.entryID = 77;
            s.startSynced = true;
            return true;
        });
        const TrackingSnapshot stopped = TrackingStore::setRunning(false, start.addSeconds(5));
        QVERIFY(!stopped.isRunning);
        QVERIFY(!stopped.startedAt && !stopped.sessionID && !stopped.entryID && !stopped.startSynced);
        QCOMPARE(stopped.banked.value(u"2025-03-07"_s), 5.0);
        QCOMPARE(stopped.pending->size(), 1);
        const PendingStop stop = stopped.pending->first();
        QCOMPARE(stop.sessionID, *running.sessionID);
        QCOMPARE(stop.entryID, std::optional<qint64>(77));
        QVERIFY(stop.startSynced);
        QCOMPARE(stop.startedAt, start);
        QCOMPARE(stop.stoppedAt, start.addSeconds(5));
        QCOMPARE(settledSignals(), 3);

        // Stopping again queues nothing.
        QCOMPARE(TrackingStore::setRunning(false, start.addSeconds(9)), stopped);
        QCOMPARE(settledSignals(), 3);
    }

    void labelsSurviveTransitions()
    {
        TrackingStore::update([](TrackingSnapshot &s) {
            s.project = u"Site"_s;
            s.task = u"Copy"_s;
            s.projectID = u"4"_s;
            s.isPrivate = true;
            return true;
        });
        TrackingStore::setRunning(true, Instant{1000});
        const TrackingSnapshot s = TrackingStore::setRunning(false, Instant{1060});
        QCOMPARE(s.project, u"Site"_s);
        QCOMPARE(s.task, u"Copy"_s);
        QCOMPARE(s.projectID, std::optional<QString>(u"4"_s));
        QVERIFY(s.isPrivate);
        QCOMPARE(s.pending->first().projectID, std::optional<QString>(u"4"_s));
        QVERIFY(s.pending->first().isPrivate);
        QVERIFY(!s.pending->first().startSynced);
    }

    void stopPastMidnightFilesUnderStartDay()
    {
        TrackingStore::setRunning(true, local(2025, 3, 6, 23, 50));
        const TrackingSnapshot s = TrackingStore::setRunning(false, local(2025, 3, 7, 0, 20));
        QCOMPARE(s.banked.value(u"2025-03-06"_s), 1800.0);
        QVERIFY(!s.banked.contains(u"2025-03-07"_s));
    }

    void handEditedRunningSnapshot()
    {
        // Running without a start time or session identifier.
        TrackingSnapshot edited;
        edited.isRunning = true;
        TrackingStore::save(edited);
        const Instant now = local(2025, 3, 7, 12, 0);
        const TrackingSnapshot s = TrackingStore::setRunning(false, now);
        const PendingStop stop = s.pending->first();
        QCOMPARE(stop.startedAt, now);
        QCOMPARE(stop.stoppedAt, now);
        QCOMPARE(stop.sessionID.size(), 36);
        QCOMPARE(s.banked.value(u"2025-03-07"_s), 0.0);
    }

    void twoCyclesQueueTwoStopsInOrder()
    {
        TrackingStore::setRunning(true, Instant{100});
        TrackingStore::setRunning(false, Instant{110});
        TrackingStore::setRunning(true, Instant{120});
        const TrackingSnapshot s = TrackingStore::setRunning(false, Instant{150});
        QCOMPARE(s.pending->size(), 2);
        QCOMPARE(s.pending->at(0).stoppedAt, Instant{110});
        QCOMPARE(s.pending->at(1).stoppedAt, Instant{150});
        QVERIFY(s.pending->at(0).sessionID != s.pending->at(1).sessionID);
        QCOMPARE(s.pendingSeconds(), 40.0);
    }

    void acceptRemovesEveryCopyAndNeverGoesNegative()
    {
        PendingStop a;
        a.sessionID = u"A"_s;
        a.startedAt = local(2025, 3, 7, 9, 0);
        a.stoppedAt = a.startedAt.addSeconds(600);
        PendingStop b = a;
        b.sessionID = u"B"_s;
        TrackingSnapshot s;
        s.banked[u"2025-03-07"_s] = 400;
        s.pending = QList<PendingStop>{a, b, a};
        TrackingStore::save(s);

        const TrackingSnapshot after = TrackingStore::accept(a);
        QCOMPARE(after.pending, std::optional<QList<PendingStop>>(QList<PendingStop>{b}));
        QCOMPARE(after.banked.value(u"2025-03-07"_s), 0.0);
        QCOMPARE(TrackingStore::load(), after);

        // The last stop leaves an empty list, and a missing day key is written as 0.
        b.startedAt = local(2025, 3, 1, 9, 0);
        b.stoppedAt = b.startedAt.addSeconds(60);
        const TrackingSnapshot empty = TrackingStore::accept(b);
        QVERIFY(empty.pending && empty.pending->isEmpty());
        QCOMPARE(empty.banked.value(u"2025-03-01"_s, -1), 0.0);
    }

    void clearDropsQueueKeepsBank()
    {
        TrackingStore::setRunning(true, Instant{100});
        TrackingStore::setRunning(false, Instant{130});
        const TrackingSnapshot s = TrackingStore::clearPending();
        QVERIFY(!s.pending);
        QCOMPARE(s.todaySeconds(Instant{130}), s.banked.first());
        QCOMPARE(s.banked.first(), 30.0);
    }

    void unreadableDocumentIsKeptAside()
    {
        const QString path = SharedSuite::snapshotPath();
        const QByteArray garbage = "{\"isRunning\":true, half a document";
        writeFile(path, garbage);
        QCOMPARE(TrackingStore::load(), TrackingSnapshot{});
        QCOMPARE(fileBytes(path), garbage); // loading never touches it

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot was unreadable; moved it to .*unreadable-"_s));
        TrackingStore::setRunning(true, Instant{5});
        QVERIFY(TrackingStore::load().isRunning);
        const QDir dir = QFileInfo(path).absoluteDir();
        const QStringList aside = dir.entryList({u"tracking.snapshot.v1.unreadable-*"_s});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileBytes(dir.filePath(aside.first())), garbage);

        // Only the newest few copies are kept.
        for (int i = 0; i < 5; ++i) {
            writeFile(path, "not json " + QByteArray::number(i));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot was unreadable"_s));
            TrackingStore::save(TrackingSnapshot{});
        }
        QCOMPARE(dir.entryList({u"tracking.snapshot.v1.unreadable-*"_s}).size(), 3);
    }

    void garbageAndFoldersLoadAsDefault()
    {
        const QString path = SharedSuite::snapshotPath();
        QByteArray big(50 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char((i * 7919) & 0xff);
        writeFile(path, big);
        QCOMPARE(TrackingStore::load(), TrackingSnapshot{});
        QFile::remove(path);

        QVERIFY(QDir().mkpath(path)); // a folder where the file should be
        QCOMPARE(TrackingStore::load(), TrackingSnapshot{});
        QDir(path).removeRecursively();

        // A pipe would block a reader that opened it: it is never opened,
        // and the next save puts it aside like any unusable document.
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QCOMPARE(TrackingStore::load(), TrackingSnapshot{});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot was unreadable; moved it to"_s));
        QVERIFY(TrackingStore::setRunning(true, Instant{5}).isRunning);
        QVERIFY(QFileInfo(path).isFile());
    }

    void looseFolderIsTightened()
    {
        const QString dir = m_home->config() + u"/K7QW3ZP2LM.com.corvane.native"_s;
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                               | QFileDevice::ReadOther | QFileDevice::ExeOther));
        TrackingStore::save(TrackingSnapshot{});
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(dir).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
    }

    void failedSaveKeepsOldDocumentAndStillSignals()
    {
        TrackingStore::setRunning(true, Instant{5});
        const QString path = SharedSuite::snapshotPath();
        const QByteArray before = fileBytes(path);
        const int signalsBefore = settledSignals();

        StoreResult returned;
        {
            const FileSizeLimit full(16);
            QVERIFY(full.active());
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot save failed: File too large"_s));
            returned = TrackingStore::setRunning(false, fixedClock(Instant{9}));
        }
        QVERIFY(returned.snapshot.isRunning); // what is stored, not what was wanted
        QVERIFY(!returned.saved);
        QCOMPARE(returned.error, u"the timer state could not be saved: File too large"_s);
        QCOMPARE(fileBytes(path), before);
        QVERIFY(TrackingStore::load().isRunning);
        QCOMPARE(settledSignals(), signalsBefore + 1);
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void nonFiniteSnapshotIsNotWritten()
    {
        TrackingStore::setRunning(true, Instant{5});
        const QByteArray before = fileBytes(SharedSuite::snapshotPath());
        TrackingSnapshot bad = TrackingStore::load();
        bad.startedAt = Instant{std::numeric_limits<double>::quiet_NaN()};
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot save failed: a number is not finite"_s));
        TrackingStore::save(bad);
        QCOMPARE(fileBytes(SharedSuite::snapshotPath()), before);
    }

    void readFailureIsNeverSuccess()
    {
        TrackingStore::setRunning(true, Instant{5});
        const QString path = SharedSuite::snapshotPath();
        const QByteArray before = fileBytes(path);
        QVERIFY(QFile::setPermissions(path, {}));
        const PermissionChecks::Enforced asEveryone;

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot could not be read: Permission denied"_s));
        const StoreResult read = TrackingStore::read();
        QVERIFY(!read.ok());
        QCOMPARE(read.error, u"the timer state could not be read: Permission denied"_s);

        // Neither a change nor a whole new snapshot goes over a document we
        // could not read, and neither says it was saved.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot could not be read"_s));
        const StoreResult stop = TrackingStore::setRunning(false, fixedClock(Instant{9}));
        QVERIFY(!stop.ok() && !stop.saved);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot could not be read"_s));
        const StoreResult save = TrackingStore::save(TrackingSnapshot{});
        QVERIFY(!save.ok() && !save.saved);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(fileBytes(path), before);
    }

    void noChangeWithoutTheLock()
    {
        TrackingStore::setRunning(true, Instant{5});
        const QString path = SharedSuite::snapshotPath();
        const QByteArray before = fileBytes(path);
        // Something that cannot be opened as the lock file.
        QVERIFY(QFile::remove(path + u".lock"_s));
        QVERIFY(QDir().mkpath(path + u".lock"_s));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"snapshot lock unavailable: .*Is a directory"_s));
        const StoreResult stop = TrackingStore::setRunning(false, fixedClock(Instant{9}));
        QVERIFY(!stop.saved);
        QVERIFY(stop.error.startsWith(u"the timer state could not be locked: cannot open "_s));
        QVERIFY2(stop.error.endsWith(u"Is a directory"_s), qPrintable(stop.error)); // the real reason
        QVERIFY(stop.snapshot.isRunning);
        QCOMPARE(fileBytes(path), before);
    }

    void staleTemporariesAreRemovedByTheNextWrite()
    {
        TrackingStore::setRunning(true, Instant{5});
        const QString path = SharedSuite::snapshotPath();
        const QDir dir = QFileInfo(path).absoluteDir();
        const auto litter = [&](const QString &name, int ageSeconds) {
            writeFile(dir.filePath(name), "{\"isRunning\":");
            const qint64 when = QDateTime::currentSecsSinceEpoch() - ageSeconds;
            struct utimbuf times {when, when};
            QCOMPARE(::utime(QFile::encodeName(dir.filePath(name)).constData(), &times), 0);
        };
        litter(u".tracking.snapshot.v1.a1B2c3"_s, 3600);
        litter(u".tracking.snapshot.v1.zzzzzz"_s, 61);
        litter(u".tracking.snapshot.v1.fresh1"_s, 5);      // a write may be using it
        litter(u".tracking.snapshot.v1.notours-x"_s, 3600); // not a name the store makes
        litter(u".tracking.snapshot.v1.short"_s, 3600);     // nor this
        litter(u"notes.txt"_s, 3600);

        TrackingStore::setRunning(false, fixedClock(Instant{9}));
        QStringList left = dir.entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left, (QStringList{u".tracking.snapshot.v1.fresh1"_s, u".tracking.snapshot.v1.notours-x"_s,
                                    u".tracking.snapshot.v1.short"_s, u"notes.txt"_s, u"tracking.snapshot.v1"_s,
                                    u"tracking.snapshot.v1.lock"_s}));
    }

    void oneBadFieldKeepsTheQueue()
    {
        const QString path = SharedSuite::snapshotPath();
        // The second stop's startSynced is text: the document no longer reads.
        writeFile(path, R"({"isRunning":true,"startedAt":500,"sessionID":"RUN","startSynced":true,"entryID":"9",)"
                        R"("banked":{"2001-01-01":70,"bad":"x"},"project":"Site","task":7,"isPrivate":false,)"
                        R"("pending":[{"sessionID":"A","startSynced":true,"entryID":11,"startedAt":10,"stoppedAt":40,"isPrivate":false},)"
                        R"({"sessionID":"B","startSynced":"yes","startedAt":50,"stoppedAt":60,"isPrivate":false},)"
                        R"({"sessionID":"C","startSynced":false,"startedAt":100,"stoppedAt":140,"isPrivate":true,"projectID":"4"}]})");
        const StoreResult read = TrackingStore::read();
        QVERIFY(read.ok());
        QVERIFY(read.unreadable);
        const TrackingSnapshot &kept = read.snapshot;
        QCOMPARE(kept.pending->size(), 2);
        QCOMPARE(kept.pending->at(0).sessionID, u"A"_s);
        QCOMPARE(kept.pending->at(0).entryID, std::optional<qint64>(11));
        QCOMPARE(kept.pending->at(1).sessionID, u"C"_s);
        QCOMPARE(kept.pending->at(1).projectID, std::optional<QString>(u"4"_s));
        QVERIFY(kept.isRunning);
        QCOMPARE(kept.startedAt, std::optional<Instant>(Instant{500}));
        QCOMPARE(kept.sessionID, std::optional<QString>(u"RUN"_s));
        QVERIFY(!kept.entryID); // text where a number belongs
        QCOMPARE(kept.banked, (QMap<QString, double>{{u"2001-01-01"_s, 70}}));
        QCOMPARE(kept.project, u"Site"_s);

        // The next write sets the document aside and builds on what was kept.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"snapshot was unreadable; moved it to .*; kept 2 queued stops and "
                                                u"the running session; 1 queued stop could not be read"_s));
        const StoreResult stop = TrackingStore::setRunning(false, fixedClock(Instant{800}));
        QVERIFY(stop.ok() && stop.saved);
        QVERIFY(stop.repair.startsWith(u"the timer state was unreadable and has been repaired: kept 2 queued stops"_s));
        const TrackingSnapshot after = TrackingStore::load();
        QCOMPARE(after.pending->size(), 3);
        QCOMPARE(after.pending->at(2).sessionID, u"RUN"_s);
        QCOMPARE(after.pending->at(2).stoppedAt, Instant{800});
        QVERIFY(!TrackingStore::read().unreadable);
    }

    void preferencesArePrivateWhateverTheUmask()
    {
        const mode_t old = ::umask(0);
        Preferences::setValue(u"server"_s, u"https://example.com/api/v1/"_s);
        Preferences::remove(u"user.name"_s);
        ::umask(old);
        QCOMPARE(modeOf(Preferences::path()), 0600);
        QCOMPARE(modeOf(QFileInfo(Preferences::path()).absolutePath()), 0700);
        QCOMPARE(Preferences::value(u"server"_s).toString(), u"https://example.com/api/v1/"_s);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
