// Two processes sharing the snapshot: the lock, and the change signal crossing over.
#include "SessionBus.h"
#include "TestEnv.h"
#include "TrackingStore.h"

#include <QProcess>
#include <QSet>
#include <QTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

class TestStoreProcesses : public QObject {
    Q_OBJECT
public:
    int received = 0;

public Q_SLOTS:
    void changed() { ++received; }

private Q_SLOTS:
    // Four processes flipping as fast as they can: no stop is lost, and every
    // instant is read inside the lock, so the queue's instants run forward.
    void concurrentTogglesLoseNoStop()
    {
        TestEnv::IsolatedHome home;
        constexpr int perProcess = 150;
        constexpr int processes = 4;
        std::vector<std::unique_ptr<QProcess>> togglers;
        for (int i = 0; i < processes; ++i) {
            auto &p = togglers.emplace_back(std::make_unique<QProcess>());
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(TestEnv::buildPath(u"tests/tracking/store_toggler"_s), {QString::number(perProcess)});
        }
        for (auto &p : togglers) {
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitCode(), 0);
        }

        // 600 flips from a stopped timer: 300 starts and 300 stops, all kept.
        const TrackingSnapshot s = TrackingStore::load();
        QVERIFY(!s.isRunning);
        QVERIFY(s.pending);
        QCOMPARE(s.pending->size(), perProcess * processes / 2);
        QSet<QString> sessions;
        double sum = 0;
        for (qsizetype i = 0; i < s.pending->size(); ++i) {
            const PendingStop &p = s.pending->at(i);
            sessions.insert(p.sessionID);
            sum += p.duration();
            QVERIFY2(p.stoppedAt >= p.startedAt, qPrintable(u"stop %1 ends before it starts"_s.arg(i)));
            if (i > 0)
                QVERIFY2(s.pending->at(i - 1).stoppedAt <= p.startedAt, qPrintable(u"stop %1 overlaps"_s.arg(i)));
        }
        QCOMPARE(sessions.size(), perProcess * processes / 2);
        double banked = 0;
        for (double v : s.banked)
            banked += v;
        QVERIFY2(qAbs(banked - sum) < 1e-6, qPrintable(u"banked %1, stops %2"_s.arg(banked).arg(sum)));
    }

    void changeSignalReachesOtherProcesses()
    {
        TestEnv::IsolatedHome home;
        QVERIFY(ChangeSignal::observe(this, SLOT(changed())));
        QProcess control;
        control.start(TestEnv::buildPath(u"src/controls/zimbrel-control"_s), {u"on"_s});
        QVERIFY(control.waitForFinished(30000));
        QCOMPARE(control.exitCode(), 0);
        QVERIFY(TestEnv::waitFor([this] { return received >= 1; }, 5000));
        QVERIFY(TrackingStore::load().isRunning);
    }
};

QTEST_GUILESS_MAIN(TestStoreProcesses)
#include "tst_store_processes.moc"
