#pragma once

class AppModel;
class QQmlEngine;
class Tray;

// Makes the Zimbrel.App module usable from `engine`: registers its types
// (and those of Zimbrel.Ui) and hands QML the program's model.
namespace ViewsSetup {

void registerWith(QQmlEngine &engine, AppModel *model);
// The part of registerWith that needs no model: enough for the engine to load
// the modules' files, not to create their objects.
void registerTypes(QQmlEngine &engine);
// After the process-wide QML type registrations were cleared (no engine
// left): the next registerWith registers both modules' types again.
void forgetTypes();

// The model QML reads, for the singletons' create(): the one given to
// registerWith or setModel last.
AppModel *model();
void setModel(AppModel *model);

// The program's tray icon, for the Settings screen's word on it (none in tests
// without a shell).
void setTray(Tray *tray);
Tray *tray();

} // namespace ViewsSetup
