#include "FireAndForget.h"

#include "TrackingLog.h"

#include <exception>

namespace {

QCoro::Task<void> runToEnd(QCoro::Task<void> task, const char *what)
{
    try {
        co_await std::move(task);
    } catch (const std::exception &e) { // APIError too: its what() is the sentence
        qCWarning(lcTracking, "%s failed: %s", what, e.what());
    } catch (...) {
        qCWarning(lcTracking, "%s failed with an unknown error", what);
    }
}

} // namespace

void fireAndForget(QCoro::Task<void> task, const char *what)
{
    // The task is eager and frees its own frame at its end; dropping the
    // returned handle is safe.
    runToEnd(std::move(task), what);
}
