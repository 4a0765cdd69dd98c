#pragma once

#include <QString>
#include <QStringList>

#include <optional>

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

// Figures as the pages write them: "7h 20m" (as the desktop client does),
// "64 %" (an em dash for no figure).
QString duration(qint64 ms);
QString percent(std::optional<double> value);
// The colour class of a project ("c0" … "c4", "c-none" for one the
// workspace does not know), the same on every page.
QString projectClass(std::optional<qint64> projectId);

} // namespace WebText
