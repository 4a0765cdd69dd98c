#pragma once

#include "Instant.h"
#include "PendingStop.h"

// The spans of the last sessions this computer stopped and the server
// accepted, kept in the preferences ("sync.sentSessions") across restarts,
// so a timer the server still reports open inside one of them is known for
// a leftover and never taken for a new one.
namespace SentSessions {

void remember(const PendingStop &stop);
// True when `start` lies inside a remembered session (a second of slack
// before it: the server may round the start down).
bool covers(Instant start);

} // namespace SentSessions
