#pragma once

#include <utility>

// Stores `value` in `member`; true when that changed it, so the caller
// notifies observers only of real changes.
template<class T, class U>
bool assign(T &member, U &&value)
{
    if (member == value)
        return false;
    member = std::forward<U>(value);
    return true;
}
