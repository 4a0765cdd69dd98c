#pragma once

#include <QStringList>

#include <cstdio>

// zimbrel-control's command line: on, off, toggle, status [--json], watch, --help.
namespace ControlCommand {

// Runs the command in `args` (without the program name). Returns the exit
// status: 0 on success; 1 with the reason on `err` when the timer state could
// not be read, locked or saved (nothing changed); 2 with the usage text on
// `err` for bad arguments. An unreadable timer document is repaired on the
// way (what still reads is kept) and that is said on `err`.
// `watch` returns only when the event loop quits.
int run(const QStringList &args, FILE *out, FILE *err);

QString usage();

} // namespace ControlCommand
