#pragma once

#include "Project.h"
#include "TodayStats.h"
#include "WorkTask.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <initializer_list>
#include <optional>

// Lenient reading of server answers into records.
//
// First present key: the candidate keys are tried in order and the first one
// that exists decides, whatever its value (null included); later keys are not
// consulted. A value of the wrong type then counts as absent. Booleans count
// as numbers (1/0), never as text. Non-finite numbers and numbers that do not
// fit the integer or range asked for count as absent.
namespace RecordMapping {

// The value of the first key of `keys` present in `object`; Undefined when none is.
QJsonValue firstPresent(const QJsonObject &object, std::initializer_list<QLatin1StringView> keys);

// A JSON number or boolean as a finite double.
std::optional<double> number(const QJsonValue &value);
// A JSON number or boolean as a 64-bit integer; fractions are truncated toward
// zero; values outside the 64-bit range are absent.
std::optional<qint64> integer(const QJsonValue &value);
// A JSON string.
std::optional<QString> string(const QJsonValue &value);
// `key` of `object` if it holds an object, else an empty object.
QJsonObject object(const QJsonObject &object, QLatin1StringView key);
// The answer's "data" if it is an object, else the answer itself.
QJsonObject payload(const QJsonObject &answer);

// Identifier coercion: a number gives its decimal text (42, 4.5; a boolean 1
// or 0), a string gives itself, anything else nothing.
std::optional<QString> ident(const QJsonValue &value);

// A task object at position `position` of the raw task list of the project at
// `projectPosition`; nothing when its name is not text.
std::optional<WorkTask> task(const QJsonObject &object, qsizetype position, qsizetype projectPosition);
// A project object at position `position` of the server's list; nothing when
// its name is not text.
std::optional<Project> project(const QJsonObject &object, qsizetype position);
// The decoded answer of "projects": the list under "data", in server order.
QList<Project> projects(const QJsonObject &answer);
// The answers of "dashboard" (absent when it failed) and "time/current".
TodayStats todayStats(const std::optional<QJsonObject> &dashboard, const QJsonObject &current);

} // namespace RecordMapping
