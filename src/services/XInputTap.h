#pragma once

#include "InputTap.h"

#include <QByteArray>

class QSocketNotifier;
class XConnection;

// XInput2 raw key and button presses of all master devices, read through an
// Xlib connection of its own that a socket notifier drives on the main loop.
class XInputTap : public InputTap {
    Q_OBJECT
public:
    // nullptr when the X server cannot be reached or lacks XInput 2.
    static std::unique_ptr<XInputTap> open(Sink sink, const QByteArray &display = {});
    static bool available(const QByteArray &display = {});
    ~XInputTap() override;

    bool active() const override;

private:
    XInputTap(Sink sink, std::unique_ptr<XConnection> connection, int opcode);
    void readEvents();

    std::unique_ptr<XConnection> m_connection;
    int m_opcode = 0;
    QSocketNotifier *m_notifier = nullptr;
};
