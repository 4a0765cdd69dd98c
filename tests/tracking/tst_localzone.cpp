// The local time zone is read once: TZ pinned to the zone file when unset,
// local time unchanged by it, and a zone the person set left alone.
#include "LocalZone.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

class TestLocalZone : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pinsTheZoneFileWithoutChangingLocalTime()
    {
        qunsetenv("TZ");
        const QDateTime instant = QDateTime::fromSecsSinceEpoch(1780000000);
        const int offset = instant.toLocalTime().offsetFromUtc();
        LocalZone zone;
        QVERIFY(zone.pinned());
        QCOMPARE(qgetenv("TZ"), QByteArray(":/etc/localtime"));
        QCOMPARE(instant.toLocalTime().offsetFromUtc(), offset);
        QCOMPARE(LocalZone::identity().isEmpty(), !QFile::exists(QStringLiteral("/etc/localtime")));
        // A second one (a restarted window, say) finds it pinned and keeps it.
        LocalZone again;
        QVERIFY(again.pinned());
    }

    void leavesAZoneThePersonSetAlone()
    {
        qputenv("TZ", "Pacific/Auckland");
        LocalZone zone;
        QVERIFY(!zone.pinned());
        QCOMPARE(qgetenv("TZ"), QByteArray("Pacific/Auckland"));
        const QDateTime winter = QDateTime::fromSecsSinceEpoch(1780000000); // June 2026: NZST, +12
        QCOMPARE(winter.toLocalTime().offsetFromUtc(), 12 * 3600);
    }
};

QTEST_GUILESS_MAIN(TestLocalZone)
#include "tst_localzone.moc"
