#include "DeviceLookup.h"

#include "API.h"
#include "TrackingLog.h"

#include <QCoroSignal>
#include <QPointer>

#include <chrono>

using namespace std::chrono_literals;

QCoro::Task<std::optional<qint64>> DeviceLookup::deviceID(QString token)
{
    QPointer<DeviceLookup> self(this);
    // The lookup in flight ends within the request time-out; the bound only
    // keeps a lost signal from holding a caller for ever.
    while (self && m_busy)
        co_await qCoro(this, &DeviceLookup::lookupEnded, 120s);
    if (!self)
        co_return std::nullopt;
    m_busy = true;
    std::optional<qint64> device;
    try {
        device = co_await API::deviceID(token);
    } catch (const std::exception &e) {
        qCWarning(lcTracking, "device lookup failed: %s", e.what());
    }
    if (self) {
        m_busy = false;
        Q_EMIT lookupEnded();
    }
    co_return device;
}
