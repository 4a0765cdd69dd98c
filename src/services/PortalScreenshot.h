#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <QCoro/QCoroTask>

#include <chrono>

// One non-interactive screenshot through the xdg-desktop-portal Screenshot
// interface, for Wayland sessions.
class PortalScreenshot : public QObject {
    Q_OBJECT
public:
    struct Result {
        QImage image;
        QString error;   // why there is no picture; empty when there is one
    };

    // What the desktop's permission store holds for screenshots by programs
    // outside a sandbox (GNOME keeps the member's answer there).
    enum class Stored { yes, no, unset };

    // Whether the screenshot portal is on the session bus, running or
    // started on demand.
    static bool available();
    static Stored storedPermission();
    // One screenshot, waiting at most `responseTimeout` for the portal's
    // answer (the desktop may first ask the member). A portal not running
    // yet is started first and waited for. Ends early when the portal
    // leaves the bus.
    static QCoro::Task<Result> take(std::chrono::milliseconds responseTimeout = std::chrono::seconds(15));

Q_SIGNALS:
    void responded();

private Q_SLOTS:
    void response(uint code, const QVariantMap &results);
    void portalGone();

private:
    bool m_done = false;
    bool m_gone = false;
    uint m_code = 2;
    QVariantMap m_results;
};
