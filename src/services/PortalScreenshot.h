#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <QCoro/QCoroTask>

// One non-interactive screenshot through the xdg-desktop-portal Screenshot
// interface, for Wayland sessions.
class PortalScreenshot : public QObject {
    Q_OBJECT
public:
    struct Result {
        QImage image;
        QString error;   // set when the portal failed; empty when it merely declined
    };

    // Whether the screenshot portal is on the session bus.
    static bool available();
    static QCoro::Task<Result> take();

Q_SIGNALS:
    void responded();

private Q_SLOTS:
    void response(uint code, const QVariantMap &results);

private:
    bool m_done = false;
    uint m_code = 2;
    QVariantMap m_results;
};
