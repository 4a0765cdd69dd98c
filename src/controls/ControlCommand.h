#pragma once

#include <QStringList>

#include <cstdio>

// zimbrel-control's command line: on, off, toggle, status [--json], watch, --help.
namespace ControlCommand {

// Runs the command in `args` (without the program name). Returns the exit
// status: 0 on success, 2 with the usage text on stderr for bad arguments.
// `watch` returns only when the event loop quits.
int run(const QStringList &args, FILE *out, FILE *err);

QString usage();

} // namespace ControlCommand
