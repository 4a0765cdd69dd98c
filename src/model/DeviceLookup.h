#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <optional>

// The device identifier for the server calls of every part. Lookups run one
// at a time, so overlapping first lookups register the device only once.
class DeviceLookup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The identifier, or nothing when the lookup fails.
    QCoro::Task<std::optional<qint64>> deviceID(QString token);

Q_SIGNALS:
    void lookupEnded();

private:
    bool m_busy = false;
};
