#pragma once

#include <QString>
#include <QStringList>

// Text for the web pages and the CSV export. Every value that a member or a
// client can influence (names, application titles) passes through here.
namespace WebText {

// &, <, >, " and ' as entities.
QString html(const QString &text);

// One CSV cell: a cell that a spreadsheet would read as a formula (starting
// with =, +, -, @, tab or carriage return) gets a leading apostrophe; cells
// with a comma, quote or line break are quoted with inner quotes doubled.
QString csvCell(const QString &text);
// A record of cells, joined with commas and ended with CRLF.
QString csvRow(const QStringList &cells);

} // namespace WebText
