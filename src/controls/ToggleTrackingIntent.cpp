#include "ToggleTrackingIntent.h"

#include "TrackingControl.h"
#include "TrackingStore.h"

bool ToggleTrackingIntent::perform() const
{
    if (!value)
        return true;
    const TrackingSnapshot stored = TrackingStore::setRunning(*value, Instant::now());
    TrackingControl::reload();
    return stored.isRunning == *value;
}
