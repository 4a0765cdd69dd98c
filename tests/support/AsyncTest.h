#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

// Drives a coroutine to completion inside a test by running the event loop,
// and rethrows what it threw. (QCoro::waitFor never returns when the task throws.)
namespace AsyncTest {

namespace detail {
template<class T>
struct Outcome {
    bool done = false;
    QEventLoop *loop = nullptr;
    std::exception_ptr error;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
};

template<class T>
QCoro::Task<void> drive(QCoro::Task<T> task, std::shared_ptr<Outcome<T>> outcome)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
        } else {
            outcome->value = co_await std::move(task);
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
    if (outcome->loop)
        outcome->loop->quit();
}

template<class T>
std::shared_ptr<Outcome<T>> run(QCoro::Task<T> task, int timeoutMs)
{
    auto outcome = std::make_shared<Outcome<T>>();
    auto driver = drive<T>(std::move(task), outcome);
    if (!outcome->done) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        outcome->loop = &loop;
        loop.exec();
        outcome->loop = nullptr;
    }
    if (!outcome->done)
        throw std::runtime_error("AsyncTest: the coroutine did not finish in time");
    return outcome;
}
} // namespace detail

// The task's result; rethrows its exception.
template<class T>
T await(QCoro::Task<T> task, int timeoutMs = 15000)
{
    auto outcome = detail::run<T>(std::move(task), timeoutMs);
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome->value);
}

// The exception of type E the task threw; throws std::runtime_error when it
// finished without one (another exception type is rethrown).
template<class E, class T>
E awaitError(QCoro::Task<T> task, int timeoutMs = 15000)
{
    auto outcome = detail::run<T>(std::move(task), timeoutMs);
    if (!outcome->error)
        throw std::runtime_error("AsyncTest: the coroutine finished without an error");
    try {
        std::rethrow_exception(outcome->error);
    } catch (const E &e) {
        return e;
    }
    throw std::logic_error("unreachable");
}

} // namespace AsyncTest
