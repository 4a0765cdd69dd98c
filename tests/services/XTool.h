#pragma once

#include <QByteArray>
#include <QStringList>

// Runs xdotool against a display (the test desktop's when empty) and waits
// for it; true when it exited cleanly.
namespace XTool {

bool run(const QStringList &arguments, const QByteArray &display = {});
// The first window id xdotool finds for `arguments` of "search", or 0.
qulonglong search(const QStringList &arguments, const QByteArray &display = {});

} // namespace XTool
