#include "ToggleTrackingIntent.h"

#include "TrackingControl.h"
#include "TrackingStore.h"

StoreResult ToggleTrackingIntent::perform() const
{
    if (!value)
        return {};
    const StoreResult result = TrackingStore::setRunning(*value, &Instant::now);
    TrackingControl::reload();
    return result;
}
