// Flips the stored timer N times as fast as it can; the lock test runs several at once.
#include "TrackingStore.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int times = argc > 1 ? std::atoi(argv[1]) : 100;
    for (int i = 0; i < times; ++i)
        if (!TrackingStore::toggle(&Instant::now).ok())
            return 1;
    return 0;
}
