#pragma once

#include "InputTap.h"

#include <QList>
#include <QString>

class QFileSystemWatcher;
class QSocketNotifier;

// Key and button presses read straight from the readable event devices of a
// folder (/dev/input on a real system), for Wayland sessions where no display
// server hands out other clients' input. Devices that appear later (plugged
// in, back from suspend) are opened as they come.
class EvdevTap : public InputTap {
    Q_OBJECT
public:
    // nullptr when no event device in `folder` can be opened for reading.
    static std::unique_ptr<EvdevTap> open(Sink sink, const QString &folder = QStringLiteral("/dev/input"));
    static bool available(const QString &folder = QStringLiteral("/dev/input"));
    ~EvdevTap() override;

    bool active() const override;
    int deviceCount() const;

private:
    struct Device {
        QString path;
        int fd = -1;
        QSocketNotifier *notifier = nullptr;
        QByteArray pending;
    };

    EvdevTap(Sink sink, const QString &folder);
    // Opens every readable event device of the folder not open yet; how many.
    int openNewDevices();
    void readDevice(int index);
    void closeDevice(int index);

    QString m_folder;
    QList<Device> m_devices;
    QFileSystemWatcher *m_watcher = nullptr;
};
