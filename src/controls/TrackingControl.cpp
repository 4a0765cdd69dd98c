#include "TrackingControl.h"

#include "SessionBus.h"
#include "TrackingStore.h"

using namespace Qt::StringLiterals;

namespace TrackingControl {

QString State::valueLabel() const
{
    return isRunning ? caption : offLabel;
}

QJsonObject State::toJson() const
{
    return QJsonObject{{u"isRunning"_s, isRunning}, {u"caption"_s, caption}};
}

namespace Provider {

State previewValue()
{
    return State{false, u"Tracking"_s};
}

State currentValue()
{
    return stateOf(TrackingStore::load());
}

} // namespace Provider

State stateOf(const TrackingSnapshot &snap)
{
    const QString caption = !snap.task.isEmpty() ? snap.task : !snap.project.isEmpty() ? snap.project : u"Tracking"_s;
    return State{snap.isRunning, caption};
}

void reload()
{
    SessionBus::post(u"/com/corvane/native/controls"_s, u"com.corvane.native.controls"_s, u"tracking"_s);
}

} // namespace TrackingControl
