#pragma once

#include <QLoggingCategory>

// The one application log: "com.corvane.native.tracking". Successes go out at
// info level, failures at warning level.
Q_DECLARE_LOGGING_CATEGORY(lcTracking)
