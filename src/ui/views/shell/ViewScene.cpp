#include "ViewScene.h"

#include "ViewsSetup.h"

#include <QCoreApplication>
#include <QFont>
#include <QPixmapCache>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <qqml.h>

#include <cstdlib>
#include <malloc.h>
#include <utility>

namespace {
// Engines built by scenes and not yet destroyed, across all scenes.
int g_liveEngines = 0;
bool g_onlyEngines = false;

// The engine preload() made, with the components loading into it, until a
// build takes them (or the application ends).
struct Preloaded {
    QUrl url;
    QPointer<QQmlEngine> engine;
};
Preloaded g_preloaded;

// glibc keeps up to seven freed chunks of each small size (up to 1 KiB) per
// thread for quick reuse. Left over from a closed scene they lie scattered
// over the heap, each keeping its page from being trimmed. Taking them out
// and giving back fresh ones in their place puts them back into the heap's
// free lists, where the trim can return their pages.
void refreshAllocatorCache()
{
    constexpr int cached = 7;
    for (size_t size = 24; size <= 1032; size += 16) {
        void *old[cached];
        void *fresh[cached];
        for (void *&p : old)
            p = std::malloc(size);
        for (void *&p : fresh)
            p = std::malloc(size);
        // The cache takes the first ones freed.
        for (void *p : fresh)
            std::free(p);
        for (void *p : old)
            std::free(p);
    }
}
} // namespace

ViewScene::ViewScene(QUrl url, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
{
}

ViewScene::~ViewScene()
{
    // Windows before the engines (children of this) that made them. Taken
    // out first: each deletion prunes m_leaving.
    const QList<QPointer<QQuickWindow>> leaving = std::exchange(m_leaving, {});
    for (const QPointer<QQuickWindow> &window : leaving)
        delete window.data();
    delete m_window.data();
}

QQmlEngine *ViewScene::newEngine(QObject *parent)
{
    auto *engine = new QQmlEngine(parent);
    ++g_liveEngines;
    connect(engine, &QObject::destroyed, [] { --g_liveEngines; });
    return engine;
}

void ViewScene::preload(const QUrl &url, const QList<QUrl> &alsoLoad)
{
    if (g_preloaded.engine)
        return;
    // The application's until a build takes it.
    QQmlEngine *engine = newEngine(QCoreApplication::instance());
    ViewsSetup::registerTypes(*engine);
    new QQmlComponent(engine, url, QQmlComponent::Asynchronous, engine);
    for (const QUrl &other : alsoLoad)
        new QQmlComponent(engine, url.resolved(other), QQmlComponent::Asynchronous, engine);
    g_preloaded = {url, engine};
}

QQuickWindow *ViewScene::build(QString *error)
{
    if (m_window)
        return m_window;
    QQmlEngine *engine = nullptr;
    if (g_preloaded.engine && g_preloaded.url == m_url) {
        engine = std::exchange(g_preloaded, {}).engine.data();
        engine->setParent(this);
    } else {
        engine = newEngine(this);
    }
    ViewsSetup::registerWith(*engine, ViewsSetup::model());
    QObject *created = nullptr;
    QQuickWindow *window = nullptr;
    {
        QQmlComponent component(engine, m_url, QQmlComponent::PreferSynchronous);
        created = component.beginCreate(engine->rootContext());
        window = qobject_cast<QQuickWindow *>(created);
        // A window's content item takes the window's size only when the
        // window is first exposed: until then the scene would be laid out at
        // 0 x 0 (the narrow layout, say) and again at its real size. It
        // follows the window's size from the start instead, before the
        // scene's bindings, layouts and loaders complete.
        if (window) {
            const auto follow = [window] { window->contentItem()->setSize(window->size()); };
            follow();
            connect(window, &QWindow::widthChanged, window, follow);
            connect(window, &QWindow::heightChanged, window, follow);
        }
        if (created)
            component.completeCreate();
        if (!window && error)
            *error = component.isError() ? component.errorString() : QStringLiteral("%1 is not a window").arg(m_url.toString());
    }
    if (!window) {
        delete created;
        delete engine;
        return nullptr;
    }
    m_engine = engine;
    m_window = window;
    return window;
}

void ViewScene::release()
{
    QQuickWindow *window = m_window;
    QQmlEngine *engine = m_engine;
    m_window = nullptr;
    m_engine = nullptr;
    if (!window)
        return;
    m_leaving.append(window);
    // The engine goes once the window is gone, then the heap is trimmed: the
    // program may now sit in the tray for hours.
    connect(window, &QObject::destroyed, engine, [this, engine] {
        m_leaving.removeAll(nullptr);
        engine->deleteLater();
        connect(engine, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, &ViewScene::releaseShared); });
    });
    window->deleteLater();
}

void ViewScene::setOnlyEngines(bool only)
{
    g_onlyEngines = only;
}

int ViewScene::liveEngines()
{
    return g_liveEngines;
}

void ViewScene::releaseShared()
{
    if (g_liveEngines == 0) {
        // With no scene left, what Qt keeps for the whole process after the
        // last text and image were drawn goes too: this thread's font cache
        // (font engines, their glyphs and shaping tables, the mapped font
        // files; fonts in use load their engines again when next drawn) and
        // the pixmap cache.
        QFont::cleanup();
        QPixmapCache::clear();
        // Qt's QML type registry (the types of every module the scenes
        // imported, with their property caches and enumerations) outlives
        // the engines. It may only be cleared while no engine exists, so only
        // when every engine of the process is a scene's. The next build
        // registers the types again.
        if (g_onlyEngines) {
            qmlClearTypeRegistrations();
            ViewsSetup::forgetTypes();
        }
    }
    refreshAllocatorCache();
    malloc_trim(0);
}
