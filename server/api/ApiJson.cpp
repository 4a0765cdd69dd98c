#include "ApiJson.h"

#include "Calendar.h"

#include <cmath>

namespace ApiJson {

QJsonObject ok(const QJsonObject &data)
{
    return {{QStringLiteral("success"), true}, {QStringLiteral("data"), data}};
}

QJsonObject failure(const QString &message)
{
    return {{QStringLiteral("success"), false}, {QStringLiteral("message"), message}};
}

std::optional<qint64> id(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        constexpr double limit = 9007199254740992.0; // 2^53: every whole double below is exact
        if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > limit)
            return std::nullopt;
        return qint64(d);
    }
    if (value.isString()) {
        const QString s = value.toString();
        if (s.isEmpty() || s.size() > 20)
            return std::nullopt;
        for (qsizetype i = 0; i < s.size(); ++i)
            if (!s[i].isDigit() || s[i].unicode() > 127)
                return std::nullopt;
        bool good = false;
        const qint64 n = s.toLongLong(&good);
        return good ? std::optional<qint64>(n) : std::nullopt;
    }
    return std::nullopt;
}

Store::Ref ref(const QJsonValue &value)
{
    Store::Ref r;
    r.id = id(value);
    if (value.isDouble())
        r.text = r.id ? QString::number(*r.id) : QString::number(value.toDouble(), 'g', 17);
    else if (value.isString())
        r.text = value.toString().left(200);
    else if (value.isBool())
        r.text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return r;
}

std::optional<QString> text(const QJsonValue &value, int maxLength)
{
    if (!value.isString())
        return std::nullopt;
    const QString s = value.toString();
    if (s.isEmpty() || s.size() > maxLength)
        return std::nullopt;
    return s;
}

QString textOr(const QJsonValue &value, int maxLength)
{
    return value.isString() ? value.toString().left(maxLength) : QString();
}

std::optional<QString> firstText(const QJsonObject &o, std::initializer_list<const char *> keys, int maxLength)
{
    for (const char *k : keys)
        if (auto t = text(o.value(QLatin1String(k)), maxLength))
            return t;
    return std::nullopt;
}

std::optional<qint64> count(const QJsonValue &value, qint64 cap)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d < 0 || d != std::trunc(d))
        return std::nullopt;
    return d > double(cap) ? cap : qint64(d);
}

QJsonObject entry(const Store::Entry &e)
{
    auto refValue = [](const std::optional<qint64> &resolved, const QString &refText) -> QJsonValue {
        if (resolved)
            return double(*resolved);
        if (!refText.isEmpty())
            return refText;
        return QJsonValue::Null;
    };
    QJsonObject o{
        {QStringLiteral("id"), double(e.id)},
        {QStringLiteral("client_session_id"), e.sessionId},
        {QStringLiteral("project_id"), refValue(e.projectId, e.projectRef)},
        {QStringLiteral("task_id"), refValue(e.taskId, e.taskRef)},
        {QStringLiteral("device_id"), e.deviceId ? QJsonValue(double(*e.deviceId)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("type"), e.type},
        {QStringLiteral("is_private"), e.isPrivate},
        {QStringLiteral("needs_review"), e.flagged},
        {QStringLiteral("started_at"), Calendar::iso(e.startedAt)},
        {QStringLiteral("stopped_at"), e.stoppedAt ? QJsonValue(Calendar::iso(*e.stoppedAt)) : QJsonValue(QJsonValue::Null)},
    };
    if (e.stoppedAt)
        o.insert(QStringLiteral("stop_reason"), e.stopReason);
    return o;
}

} // namespace ApiJson
