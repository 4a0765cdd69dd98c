#include "TimerViews.h"

#include "LastShotImageProvider.h"

#include <QQmlEngine>

namespace TimerViews {

void registerWith(QQmlEngine &engine, AppModel *model)
{
    // The engine owns the provider; a second registration would be refused.
    if (!engine.imageProvider(QStringLiteral("lastshot")))
        engine.addImageProvider(QStringLiteral("lastshot"), new LastShotImageProvider(model));
}

} // namespace TimerViews
