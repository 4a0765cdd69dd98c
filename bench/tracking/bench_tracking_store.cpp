// Prints load and save times of snapshots holding 0, 100 and 10,000 queued stops.
#include "SharedSuite.h"
#include "TrackingStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
TrackingSnapshot withStops(int count)
{
    TrackingSnapshot s;
    s.project = QStringLiteral("Website");
    s.task = QStringLiteral("Copy edits");
    s.projectID = QStringLiteral("12");
    QList<PendingStop> stops;
    stops.reserve(count);
    for (int i = 0; i < count; ++i) {
        PendingStop p;
        p.sessionID = TrackingStore::newSessionID();
        p.projectID = QStringLiteral("12");
        p.entryID = 1000000 + i;
        p.startSynced = i % 2;
        p.startedAt = Instant{786412800.0 + i * 3600.0};
        p.stoppedAt = p.startedAt.addSeconds(1800.25);
        stops.append(p);
        s.banked[TrackingSnapshot::dayKey(p.startedAt)] += 1800.25;
    }
    s.pending = stops;
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qunsetenv("DBUS_SESSION_BUS_ADDRESS"); // measure the store, not the bus

    std::printf("%-8s %12s %12s %12s\n", "stops", "bytes", "load ms", "save ms");
    for (int count : {0, 100, 10000}) {
        const TrackingSnapshot s = withStops(count);
        const int rounds = count >= 10000 ? 15 : 200;
        std::vector<double> loads, saves;
        for (int r = 0; r < rounds; ++r) {
            QElapsedTimer t;
            t.start();
            TrackingStore::save(s);
            saves.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            const TrackingSnapshot back = TrackingStore::load();
            loads.push_back(t.nsecsElapsed() / 1e6);
            if (back != s) {
                std::fprintf(stderr, "round trip changed the snapshot\n");
                return 1;
            }
        }
        std::printf("%-8d %12lld %12.3f %12.3f\n", count, QFileInfo(SharedSuite::snapshotPath()).size(),
                    median(loads), median(saves));
    }
    std::printf("(medians; save includes fsync of the file and its folder)\n");
    return 0;
}
