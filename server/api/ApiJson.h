#pragma once

#include "Store.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// Reading the client's JSON fields strictly, and writing answers in the
// envelope the client reads: {"success": true, "data": {...}} or
// {"success": false, "message": "..."}.
namespace ApiJson {

QJsonObject ok(const QJsonObject &data = {});
QJsonObject failure(const QString &message);

// An identifier: a whole JSON number within ±2^53, or text that is wholly a
// base-10 integer fitting 64 bits. Anything else is nothing.
std::optional<qint64> id(const QJsonValue &value);
// What the client named as project or task (see Store::Ref); text is capped.
Store::Ref ref(const QJsonValue &value);
// A string of 1..maxLength characters, else nothing.
std::optional<QString> text(const QJsonValue &value, int maxLength);
// A string cut to maxLength characters; empty for anything else.
QString textOr(const QJsonValue &value, int maxLength);
// The first of the keys holding a usable string (1..maxLength).
std::optional<QString> firstText(const QJsonObject &o, std::initializer_list<const char *> keys, int maxLength);
// A whole non-negative number, capped at `cap`; nothing for other values.
std::optional<qint64> count(const QJsonValue &value, qint64 cap);

// A time entry as the client reads it.
QJsonObject entry(const Store::Entry &e);

} // namespace ApiJson
