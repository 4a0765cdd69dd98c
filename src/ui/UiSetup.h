#pragma once

#include <QIcon>
#include <QStringList>

class QQmlEngine;

// What the program does once at start-up before showing any QML.
namespace UiSetup {

// The software scene graph, unless QT_QUICK_BACKEND picks another, and on
// X11 frames drawn without a timer's delay and sent without a round trip.
// Call before the application exists.
void useDefaultRenderer();

// Inter for the interface, falling back to Noto Sans, then DejaVu Sans.
// Call after the QGuiApplication exists.
void applyFonts();
const QStringList &fontFamilies();

// Registers the Zimbrel.Ui module and its image providers ("icon",
// "shadow") with `engine`.
void registerWith(QQmlEngine &engine);
// After the process-wide QML type registrations were cleared: the next
// registerWith registers the types again.
void forgetTypes();

// The tray glyph: the z alone, or with its dot while tracking.
QIcon trayGlyph(bool live);
// The application icon (window icon).
QIcon applicationIcon();

} // namespace UiSetup
