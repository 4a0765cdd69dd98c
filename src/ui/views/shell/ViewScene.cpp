#include "ViewScene.h"

#include "ViewsSetup.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTimer>

#include <malloc.h>
#include <utility>

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

QQuickWindow *ViewScene::build(QString *error)
{
    if (m_window)
        return m_window;
    auto *engine = new QQmlEngine(this);
    ViewsSetup::registerWith(*engine, ViewsSetup::model());
    QObject *created = nullptr;
    {
        QQmlComponent component(engine, m_url, QQmlComponent::PreferSynchronous);
        created = component.create();
        if (!qobject_cast<QQuickWindow *>(created) && error)
            *error = component.isError() ? component.errorString() : QStringLiteral("%1 is not a window").arg(m_url.toString());
    }
    auto *window = qobject_cast<QQuickWindow *>(created);
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
        connect(engine, &QObject::destroyed, this, [this] {
            QTimer::singleShot(0, this, [] { malloc_trim(0); });
        });
    });
    window->deleteLater();
}
