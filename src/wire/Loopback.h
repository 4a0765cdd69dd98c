#pragma once

#include <QString>

// True for "localhost" (any letter case) and for addresses in 127.0.0.0/8
// or ::1: hosts that plain HTTP may reach without leaving this machine.
bool isLoopbackHost(const QString &host);
