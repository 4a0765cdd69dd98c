#pragma once

#include <QString>

// Log lines carry text that clients sent (paths, project names, database
// errors quoting values). Control characters in it are escaped, so a line
// break cannot start a forged line.
namespace LogText {

// "\n" → "\\n", other C0/C1 controls, DEL and the Unicode line and paragraph
// separators → "\\xNN" / "\\u{NNNN}", and "\\" → "\\\\".
QString escape(const QString &text);

// Routes every qDebug/qInfo/qWarning of the process through escape().
void install();

} // namespace LogText
