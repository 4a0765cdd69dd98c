#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>

// Sets a busy flag for the life of a pass and clears it when the pass ends,
// however it ends (return, exception, a coroutine destroyed mid-way), unless
// the flag's owner has gone. `then` runs after the flag is cleared, so whoever
// it wakes sees the owner idle.
class BusyFlag {
public:
    BusyFlag(QObject *owner, bool &flag, std::function<void()> then = {})
        : m_owner(owner), m_flag(flag), m_then(std::move(then))
    {
        m_flag = true;
    }
    ~BusyFlag()
    {
        if (!m_owner)
            return;
        m_flag = false;
        if (m_then)
            m_then();
    }
    BusyFlag(const BusyFlag &) = delete;
    BusyFlag &operator=(const BusyFlag &) = delete;

private:
    QPointer<QObject> m_owner;
    bool &m_flag;
    std::function<void()> m_then;
};
