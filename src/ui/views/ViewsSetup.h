#pragma once

class AppModel;
class QQmlEngine;

// Makes the Zimbrel.App module usable from `engine`: registers its types
// (and those of Zimbrel.Ui) and hands QML the program's model.
namespace ViewsSetup {

void registerWith(QQmlEngine &engine, AppModel *model);

// The model given to registerWith, for the singletons' create().
AppModel *model();

} // namespace ViewsSetup
