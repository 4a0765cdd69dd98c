// Two processes sharing the snapshot: the lock, and the change signal crossing over.
#include "SessionBus.h"
#include "TestEnv.h"
#include "TrackingStore.h"

#include <QProcess>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

class TestStoreProcesses : public QObject {
    Q_OBJECT
public:
    int received = 0;

public Q_SLOTS:
    void changed() { ++received; }

private Q_SLOTS:
    void concurrentTogglesLoseNoStop()
    {
        TestEnv::IsolatedHome home;
        constexpr int perProcess = 300;
        QProcess a, b;
        for (QProcess *p : {&a, &b}) {
            p->setProcessChannelMode(QProcess::ForwardedChannels);
            p->start(TestEnv::buildPath(u"tests/tracking/store_toggler"_s), {QString::number(perProcess)});
        }
        QVERIFY(a.waitForFinished(120000) && b.waitForFinished(120000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);

        // 600 flips from a stopped timer: 300 starts and 300 stops, all kept.
        const TrackingSnapshot s = TrackingStore::load();
        QVERIFY(!s.isRunning);
        QVERIFY(s.pending);
        QCOMPARE(s.pending->size(), perProcess);
        QSet<QString> sessions;
        double sum = 0;
        for (const PendingStop &p : *s.pending) {
            sessions.insert(p.sessionID);
            sum += p.duration();
        }
        QCOMPARE(sessions.size(), perProcess);
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
