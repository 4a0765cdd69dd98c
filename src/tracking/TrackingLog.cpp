#include "TrackingLog.h"

Q_LOGGING_CATEGORY(lcTracking, "com.corvane.native.tracking", QtInfoMsg)
