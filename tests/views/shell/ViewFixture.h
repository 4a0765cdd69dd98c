#pragma once

#include "AppModel.h"

#include <QQuickItem>
#include <QQuickWindow>

#include <memory>

// What the view tests share: a model on a fixed clock that never ticks by
// itself and never notifies the desktop, and lookups in a window's items.
namespace ViewFixture {

inline Instant startOfDay()
{
    return Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(10, 0)));
}

struct Clock {
    Instant now = startOfDay();
};

inline AppModel::Platform platform(Clock *clock, QList<QString> *notices = nullptr)
{
    AppModel::Platform p = AppModel::Platform::system();
    p.runTicker = false;
    p.clock = [clock] { return clock->now; };
    p.inputAllowed = [] { return false; };
    p.screenAllowed = [] { return false; };
    p.idleSeconds = [] { return 0.0; };
    p.frontmostApp = [] { return QStringLiteral("xterm"); };
    p.capture = []() -> QCoro::Task<std::optional<ScreenShot>> { co_return std::nullopt; };
    p.notify = [notices](const QString &, const QString &body) {
        if (notices)
            notices->append(body);
    };
    return p;
}

// Items made by a Repeater or a Loader are not QObject children: walk the items.
inline QQuickItem *find(QQuickItem *from, const QString &name)
{
    if (!from)
        return nullptr;
    if (from->objectName() == name)
        return from;
    const auto children = from->childItems();
    for (QQuickItem *child : children)
        if (QQuickItem *found = find(child, name))
            return found;
    return nullptr;
}

inline QQuickItem *find(QQuickWindow *window, const QString &name)
{
    return window ? find(window->contentItem(), name) : nullptr;
}

// Whether the item and all its parents are visible.
inline bool shown(QQuickItem *item)
{
    return item && item->isVisible() && item->width() > 0 && item->height() > 0;
}

} // namespace ViewFixture
