#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>

#include <QQuickWindow>

class ViewScene;

// The one main window (Main.qml). It is built when shown, with a QML engine
// of its own, and destroyed with that engine when the person closes it, so a
// program left in the tray all day keeps no scene; building it again takes a
// few tens of milliseconds.
class MainWindow : public QObject {
    Q_OBJECT

public:
    explicit MainWindow(QObject *parent = nullptr);
    ~MainWindow() override;

    // Starts loading the window's QML and its first screen's in the
    // background, for a show() soon after (see ViewScene::preload).
    static void preload();
    // The QML modules the window imports that come with a plugin library,
    // for reading those ahead (PluginReadAhead).
    static QStringList pluginModules();

    // The launch settings' size: applied 0.4 s after the window is first
    // shown, keeping its top-left corner. An empty size leaves it alone.
    void setLaunchSize(QSize size) { m_launchSize = size; }

    // Shows the window, building it when needed, and brings it to the front.
    void show();
    bool isOpen() const { return m_window; }
    QQuickWindow *window() const { return m_window; }

Q_SIGNALS:
    // The person closed the window (it is gone afterwards).
    void closed();
    // The first frame of the first window was drawn.
    void firstFrame();
    // A window built by show() drew its first frame `ms` after show() began.
    void drawn(qint64 ms);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool build();
    void applyLaunchSize();

    ViewScene *m_scene;
    QPointer<QQuickWindow> m_window;
    QSize m_launchSize;
    bool m_shownOnce = false;
    bool m_framed = false;
    QElapsedTimer m_building;
};
