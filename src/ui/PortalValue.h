#pragma once

#include <QVariant>

// The settings portal wraps a value in one variant (ReadOne) or two (Read):
// returns the value inside.
QVariant unwrapPortalValue(QVariant value);
