#pragma once

#include "FocusedWindow.h"

#include <QList>
#include <QObject>

#include <optional>

class FocusSource;

// The focused window in a Wayland session, from whichever desktop channel
// answers: our GNOME Shell extension, our KWin script or sway's IPC socket.
// The channels are opened once and report changes; current() only reads the
// last report, so a tick never waits on the desktop. Main thread only.
class WaylandFocus : public QObject {
    Q_OBJECT
public:
    explicit WaylandFocus(QObject *parent = nullptr);
    ~WaylandFocus() override;

    // The application's one instance, made on first use; it unloads what it
    // loaded into the desktop when the application quits.
    static WaylandFocus &instance();

    std::optional<FocusedWindow> current() const;
    // Whether any channel answers (so "Unknown" means nothing has focus).
    bool live() const;

Q_SIGNALS:
    void changed();

private:
    QList<FocusSource *> m_sources;
};
