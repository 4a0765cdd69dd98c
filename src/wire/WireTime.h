#pragma once

#include <QString>

#include <optional>

// The two UTC time forms of the workspace API, in milliseconds since 1970.
namespace WireTime {

// "2025-03-14T09:26:53.589Z".
QString iso(qint64 ms);
// "2025-03-14 09:26:53": UTC without a zone marker, the second rounded down.
QString stamp(qint64 ms);
// The stamp form only; nothing for anything else.
std::optional<qint64> parseStamp(const QString &text);

} // namespace WireTime
