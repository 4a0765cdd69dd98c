#include "ToggleTrackingIntent.h"

#include "TrackingControl.h"
#include "TrackingStore.h"

void ToggleTrackingIntent::perform() const
{
    if (!value)
        return;
    TrackingStore::setRunning(*value, Instant::now());
    TrackingControl::reload();
}
