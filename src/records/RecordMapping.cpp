#include "RecordMapping.h"

#include <QJsonArray>
#include <QLocale>
#include <QVariant>

#include <cmath>

namespace RecordMapping {

namespace {

// 2^63 as a double: the first value that no longer fits a qint64.
constexpr double int64Limit = 9223372036854775808.0;

// A total of seconds the program may do time arithmetic with: 0 up to about
// a hundred years. Anything else is nonsense from the server.
constexpr double maxTotalSeconds = 100.0 * 366 * 24 * 3600;

// An array whose every element is an object; nothing otherwise.
std::optional<QJsonArray> objectArray(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return std::nullopt;
    }
    return array;
}

std::optional<double> totalSeconds(const QJsonValue &value)
{
    const auto n = number(value);
    if (!n || *n < 0 || *n > maxTotalSeconds)
        return std::nullopt;
    return n;
}

} // namespace

QJsonValue firstPresent(const QJsonObject &object, std::initializer_list<QLatin1StringView> keys)
{
    for (QLatin1StringView key : keys) {
        const auto it = object.constFind(key);
        if (it != object.constEnd())
            return it.value();
    }
    return QJsonValue(QJsonValue::Undefined);
}

std::optional<double> number(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? 1.0 : 0.0;
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<qint64> integer(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool() ? 1 : 0;
    if (!value.isDouble())
        return std::nullopt;
    // QJsonValue keeps integers exactly up to 64 bits; only fractional or
    // huge numbers are stored as doubles.
    const QVariant v = value.toVariant();
    if (v.typeId() == QMetaType::LongLong)
        return v.toLongLong();
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    const double whole = std::trunc(d);
    if (whole >= int64Limit || whole < -int64Limit)
        return std::nullopt;
    return static_cast<qint64>(whole);
}

std::optional<QString> string(const QJsonValue &value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

QJsonObject object(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    return value.isObject() ? value.toObject() : QJsonObject();
}

QJsonObject payload(const QJsonObject &answer)
{
    const QJsonValue data = answer.value(QLatin1StringView("data"));
    return data.isObject() ? data.toObject() : answer;
}

std::optional<QString> ident(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (!value.isDouble())
        return std::nullopt;
    const QVariant v = value.toVariant();
    if (v.typeId() == QMetaType::LongLong)
        return QString::number(v.toLongLong());
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    if (d == std::trunc(d) && d < int64Limit && d >= -int64Limit)
        return QString::number(static_cast<qint64>(d));
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

std::optional<WorkTask> task(const QJsonObject &object, qsizetype position, qsizetype projectPosition)
{
    const auto name = string(firstPresent(object, {QLatin1StringView("name"), QLatin1StringView("task_name"),
                                                   QLatin1StringView("title")}));
    if (!name)
        return std::nullopt;
    auto id = ident(firstPresent(object, {QLatin1StringView("id"), QLatin1StringView("task_id")}));
    if (!id)
        id = QStringLiteral("task-%1-%2").arg(projectPosition).arg(position);
    return WorkTask{*id, *name};
}

std::optional<Project> project(const QJsonObject &object, qsizetype position)
{
    const auto name = string(firstPresent(object, {QLatin1StringView("name"), QLatin1StringView("project_name"),
                                                   QLatin1StringView("title")}));
    if (!name)
        return std::nullopt;
    const QJsonArray rawTasks = objectArray(firstPresent(object, {QLatin1StringView("project_tasks"),
                                                                  QLatin1StringView("assigned_tasks"),
                                                                  QLatin1StringView("tasks")}))
                                    .value_or(QJsonArray());
    auto id = ident(firstPresent(object, {QLatin1StringView("id"), QLatin1StringView("project_id")}));
    if (!id)
        id = QStringLiteral("project-%1").arg(position);

    Project result{*id, *name, {}};
    // Positions count dropped elements too, so synthesised identifiers of
    // the others do not shift when a neighbour is dropped.
    for (qsizetype k = 0; k < rawTasks.size(); ++k) {
        if (auto t = task(rawTasks.at(k).toObject(), k, position))
            result.tasks.append(*t);
    }
    return result;
}

QList<Project> projects(const QJsonObject &answer)
{
    // Only "data" is read: the top level of the answer is never the payload.
    const QJsonObject data = object(answer, QLatin1StringView("data"));
    const auto list = objectArray(firstPresent(data, {QLatin1StringView("projects_with_tasks"),
                                                      QLatin1StringView("projects"),
                                                      QLatin1StringView("assigned_projects")}));
    QList<Project> result;
    if (!list)
        return result;
    for (qsizetype p = 0; p < list->size(); ++p) {
        if (auto mapped = project(list->at(p).toObject(), p))
            result.append(*mapped);
    }
    return result;
}

TodayStats todayStats(const std::optional<QJsonObject> &dashboard, const QJsonObject &current)
{
    TodayStats stats;
    if (dashboard) {
        const QJsonValue data = dashboard->value(QLatin1StringView("data"));
        if (data.isObject()) {
            const QJsonObject payload = data.toObject();
            const QJsonObject totals = object(payload, QLatin1StringView("totals"));
            const TodayStats defaults;
            stats.tracked = string(totals.value(QLatin1StringView("time_tracked"))).value_or(defaults.tracked);
            stats.meeting = string(totals.value(QLatin1StringView("meeting_time"))).value_or(defaults.meeting);
            stats.productive =
                string(totals.value(QLatin1StringView("productive_time"))).value_or(defaults.productive);
            stats.manual = string(totals.value(QLatin1StringView("manual_time"))).value_or(defaults.manual);
            stats.productivePercent = number(totals.value(QLatin1StringView("productive_percent"))).value_or(0);
            const QJsonObject pattern = object(payload, QLatin1StringView("working_patterns"));
            stats.start = string(pattern.value(QLatin1StringView("start"))).value_or(defaults.start);
            stats.end = string(pattern.value(QLatin1StringView("end"))).value_or(defaults.end);
        }
    }
    const QJsonObject now = payload(current);
    stats.todaySeconds = totalSeconds(now.value(QLatin1StringView("today_total_seconds"))).value_or(0);
    stats.weekSeconds = totalSeconds(firstPresent(now, {QLatin1StringView("this_week_total_seconds"),
                                                        QLatin1StringView("week_total_seconds")}))
                            .value_or(0);
    return stats;
}

} // namespace RecordMapping
