#pragma once

#include "FocusSource.h"

class QDBusMessage;
class QDBusPendingCallWatcher;

// The focused window as our GNOME Shell extension reports it on the session
// bus: asked once when the extension appears, then followed through its
// Changed signal.
class GnomeFocus : public FocusSource {
    Q_OBJECT
public:
    static constexpr auto uuid = "zimbrel-focus@native.corvane.com";
    static constexpr auto service = "com.corvane.native.Focus";
    static constexpr auto path = "/com/corvane/native/Focus";
    static constexpr auto interface = "com.corvane.native.Focus";

    explicit GnomeFocus(QObject *parent = nullptr);

private Q_SLOTS:
    void onChanged(const QDBusMessage &message);

private:
    void ask();
    void take(const QDBusMessage &message);

    bool m_warned = false;
};
