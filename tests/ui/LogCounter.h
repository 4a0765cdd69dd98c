#pragma once

#include <QtGlobal>

// Counts warnings of the application log while it lives, passing every
// message on to the handler that was there before.
class LogCounter {
public:
    LogCounter();
    ~LogCounter();
    LogCounter(const LogCounter &) = delete;
    LogCounter &operator=(const LogCounter &) = delete;

    int warnings() const;
    void reset();
};
