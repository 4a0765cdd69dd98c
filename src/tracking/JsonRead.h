#pragma once

#include "Instant.h"

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// Strict readers for the stored snapshot: a wrong type makes the document
// unreadable, a missing or null optional key means absent.
namespace JsonRead {

// A value that is present with the wrong type, or a number that is not finite.
struct Invalid {};

// A required key: a value of the wanted type, or nothing (missing / wrong type).
std::optional<bool> requiredBool(const QJsonObject &o, QLatin1StringView key);
std::optional<QString> requiredString(const QJsonObject &o, QLatin1StringView key);
std::optional<Instant> requiredInstant(const QJsonObject &o, QLatin1StringView key);

// An optional key: outer empty = the document is unreadable; inner empty = absent.
std::optional<std::optional<bool>> optionalBool(const QJsonObject &o, QLatin1StringView key);
std::optional<std::optional<QString>> optionalString(const QJsonObject &o, QLatin1StringView key);
std::optional<std::optional<Instant>> optionalInstant(const QJsonObject &o, QLatin1StringView key);
std::optional<std::optional<qint64>> optionalInteger(const QJsonObject &o, QLatin1StringView key);

// A finite double from a JSON number.
std::optional<double> finiteNumber(const QJsonValue &v);

} // namespace JsonRead
