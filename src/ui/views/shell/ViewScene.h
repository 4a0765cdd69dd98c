#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QQmlEngine;
class QQuickWindow;

// A top-level QML window with a QML engine of its own. build() makes the
// engine (the views' types, image providers and the program's model) and the
// window; release() drops the window and, once it is gone, the engine with
// everything it made (types, bindings, the JS heap), and with the last one
// the process-wide caches of fonts, pixmaps and QML types, then hands the
// freed heap back to the system. A closed window thus keeps nothing, at the cost
// of loading its types again when it is built next.
class ViewScene : public QObject {
    Q_OBJECT

public:
    explicit ViewScene(QUrl url, QObject *parent = nullptr);
    ~ViewScene() override;

    // Builds the engine and the window (hidden) from the URL; nullptr with
    // `error` set when the QML fails. Builds nothing while a window exists.
    QQuickWindow *build(QString *error);

    // Starts loading `url`'s files, the modules they import and the files
    // `alsoLoad` names (relative to `url`; those the scene loads by file) on
    // Qt's QML loader thread, into an engine that the next build() of a
    // scene for the same URL takes over: the loading then overlaps whatever
    // the caller does in the meantime. Needs no model yet. Call it only when
    // that build will follow, since the engine holds its types until then.
    static void preload(const QUrl &url, const QList<QUrl> &alsoLoad = {});
    QQuickWindow *window() const { return m_window; }

    // Lets go of the window and its engine (see above). The window is
    // deleted later, so this may be called from its own event handlers.
    void release();

    // Declares that every QML engine of the process is a scene's (the
    // program's case, not a test's with engines of its own): once the last
    // scene's engine is gone, Qt's process-wide QML type registrations are
    // cleared too (see releaseShared).
    static void setOnlyEngines(bool only);
    // Engines of all scenes that exist now.
    static int liveEngines();

private:
    // A new engine, counted among the live ones until it is destroyed.
    static QQmlEngine *newEngine(QObject *parent);

    // After an engine went: with no scene's engine left, drops the caches Qt
    // keeps for the whole process; then hands the freed heap back.
    static void releaseShared();

    QUrl m_url;
    QPointer<QQuickWindow> m_window;
    QQmlEngine *m_engine = nullptr;
    // Released windows whose deletion is still on its way.
    QList<QPointer<QQuickWindow>> m_leaving;
};
