#pragma once

#include <QHash>
#include <QObject>

class QSocketNotifier;
class QWindow;
struct xcb_connection_t;

// Whether X11 windows of the program are fully covered by others, from the
// server's VisibilityNotify events on a connection of its own (Qt's windows
// do not ask for them, and each client chooses its own events). An event
// arrives only when a window's visibility changes. Under a compositing window
// manager windows count as uncovered, which errs on the side of drawing.
// Nothing outside X11.
class WindowCover : public QObject {
    Q_OBJECT
public:
    explicit WindowCover(QObject *parent = nullptr);
    ~WindowCover() override;

    // Starts following `window` (once per native window).
    void watch(QWindow *window);
    bool covered(const QWindow *window) const;

Q_SIGNALS:
    void changed();

private:
    void readEvents();

    xcb_connection_t *m_connection = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    QHash<quintptr, bool> m_covered; // by native window, once watched
};
