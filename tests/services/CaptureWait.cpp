#include "CaptureWait.h"

#include "TestEnv.h"

namespace {

QCoro::Task<> captureInto(std::shared_ptr<std::optional<ScreenShot>> out, std::shared_ptr<bool> done)
{
    *out = co_await ScreenGrabber::capture();
    *done = true;
}

} // namespace

std::optional<ScreenShot> captureAndWait(bool *finished, int timeoutMs)
{
    auto out = std::make_shared<std::optional<ScreenShot>>();
    auto done = std::make_shared<bool>(false);
    captureInto(out, done);
    *finished = TestEnv::waitFor([done] { return *done; }, timeoutMs);
    return *out;
}
