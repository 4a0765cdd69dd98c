#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <QQuickWindow>

class ViewScene;

// The panel the tray icon opens (MenuBarView in a frameless popup window).
// It is built when opened, with a QML engine of its own, and destroyed with
// that engine when it closes (on Escape, when it loses focus, or through its
// own buttons), so the program in the tray keeps no scene for it.
class TrayPanel : public QObject {
    Q_OBJECT

public:
    explicit TrayPanel(QObject *parent = nullptr);
    ~TrayPanel() override;

    bool isOpen() const { return m_window; }
    QQuickWindow *window() const { return m_window; }

    // Opens the panel next to `near` (global coordinates), or closes it when open.
    void toggle(QPoint near);
    void open(QPoint near);
    void close();

    // Where a panel of `size` goes for a click at `near` inside `available`
    // (a screen's available area): centred under the point when it is in
    // the upper half, above it otherwise, always inside the area.
    static QPoint placement(QPoint near, QSize size, const QRect &available);

Q_SIGNALS:
    void openRequested();
    void quitRequested();
    void openChanged();

private:
    ViewScene *m_scene;
    QPointer<QQuickWindow> m_window;
};
