// Discarding time away in the shared store: one change, bank and queue in step.
#include "AwaySplit.h"
#include "TestEnv.h"
#include "TrackingStore.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestAwaySplit : public QObject {
    Q_OBJECT

    const Instant m_start = Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(9, 0)));

    // A session of 900 s queued for the server beside 100 s of another one.
    PendingStop queueStop()
    {
        TrackingStore::setRunning(true, m_start);
        const TrackingSnapshot stopped = TrackingStore::setRunning(false, m_start.addSeconds(900));
        TrackingStore::update([&](TrackingSnapshot &s) {
            s.banked[TrackingSnapshot::dayKey(m_start)] += 100;
            return true;
        });
        return stopped.pending->last();
    }

private Q_SLOTS:
    void shortenedStopAcceptedAsSentTakesOnlyItsOwnSeconds()
    {
        TestEnv::IsolatedHome home;
        const PendingStop sent = queueStop();
        const QString day = TrackingSnapshot::dayKey(m_start);
        QCOMPARE(TrackingStore::load().banked.value(day), 1000.0);

        const AwaySplit::Result r = AwaySplit::discard(sent.sessionID, m_start.addSeconds(60), m_start.addSeconds(950));
        QCOMPARE(r.outcome, AwaySplit::Outcome::shortened);
        QCOMPARE(r.store.snapshot.banked.value(day), 160.0);
        QVERIFY(!r.store.snapshot.isRunning); // stopped by hand: nothing starts again

        // The server accepts the copy that was on its way before the discard:
        // the other session's 100 s stay.
        const TrackingSnapshot after = TrackingStore::accept(sent);
        QCOMPARE(after.banked.value(day), 100.0);
        QVERIFY(after.pending->isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAwaySplit)
#include "tst_awaysplit.moc"
