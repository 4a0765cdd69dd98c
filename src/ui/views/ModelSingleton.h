#pragma once

#include "AppModel.h"

#include <QQmlEngine>

// The program's one AppModel as the QML singleton `Model`: the instance made
// in main() (ViewsSetup::registerWith), never one QML would construct.
struct ModelSingleton {
    Q_GADGET
    QML_FOREIGN(AppModel)
    QML_NAMED_ELEMENT(Model)
    QML_SINGLETON

public:
    static AppModel *create(QQmlEngine *, QJSEngine *engine);
};
