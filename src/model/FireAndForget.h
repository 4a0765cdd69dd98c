#pragma once

#include <QCoroTask>

// Runs `task` to its end without anyone awaiting it. Whatever it throws is
// logged with `what` (an exception nobody awaits would otherwise vanish).
void fireAndForget(QCoro::Task<void> task, const char *what);
