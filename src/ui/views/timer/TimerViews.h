#pragma once

class AppModel;
class QQmlEngine;

// What the Timer screen needs from the engine beyond its types: the image
// provider "lastshot" for the last screenshot's thumbnail.
namespace TimerViews {

void registerWith(QQmlEngine &engine, AppModel *model);

} // namespace TimerViews
