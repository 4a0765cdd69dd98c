#pragma once

#include "FocusSource.h"

#include <QString>

class QDBusMessage;

// The focused window on KDE Plasma, from a small KWin script the program
// loads through org.kde.KWin /Scripting when it starts and unloads when it
// quits. The script calls Report on our own connection (its unique name is
// written into the script) whenever another window is activated; calls from
// anyone but KWin are ignored.
class KWinFocusScript : public FocusSource {
    Q_OBJECT
public:
    static constexpr auto pluginName = "zimbrel-focus";
    static constexpr auto path = "/com/corvane/native/Focus";
    static constexpr auto interface = "com.corvane.native.Focus";

    explicit KWinFocusScript(QObject *parent = nullptr);
    ~KWinFocusScript() override;

    // Takes the script out of KWin (a short blocking call); safe to repeat.
    void unload();
    // A call arrived on our object; false when it was not for us.
    bool handle(const QDBusMessage &message);

private:
    void load();
    void loadFile(int retries);
    void start(int id);
    void run(int id, bool plasma6);
    void startFailed(const QString &why);
    void fail(const QString &why);

    QString m_file;
    QString m_kwinOwner;
    bool m_loaded = false;
    int m_startsLeft = 0; // ways of starting the script still pending
    bool m_warned = false;
};
