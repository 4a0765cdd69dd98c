#include "JsonRead.h"

#include <cmath>

namespace JsonRead {

std::optional<double> finiteNumber(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<bool> requiredBool(const QJsonObject &o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    if (!v.isBool())
        return std::nullopt;
    return v.toBool();
}

std::optional<QString> requiredString(const QJsonObject &o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<Instant> requiredInstant(const QJsonObject &o, QLatin1StringView key)
{
    const auto d = finiteNumber(o.value(key));
    if (!d)
        return std::nullopt;
    return Instant{*d};
}

template<typename T, typename Read>
static std::optional<std::optional<T>> optionalOf(const QJsonObject &o, QLatin1StringView key, Read read)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::optional<T>{};
    std::optional<T> got = read(v);
    if (!got)
        return std::nullopt;
    return got;
}

std::optional<std::optional<bool>> optionalBool(const QJsonObject &o, QLatin1StringView key)
{
    return optionalOf<bool>(o, key, [](const QJsonValue &v) -> std::optional<bool> {
        if (!v.isBool())
            return std::nullopt;
        return v.toBool();
    });
}

std::optional<std::optional<QString>> optionalString(const QJsonObject &o, QLatin1StringView key)
{
    return optionalOf<QString>(o, key, [](const QJsonValue &v) -> std::optional<QString> {
        if (!v.isString())
            return std::nullopt;
        return v.toString();
    });
}

std::optional<std::optional<Instant>> optionalInstant(const QJsonObject &o, QLatin1StringView key)
{
    return optionalOf<Instant>(o, key, [](const QJsonValue &v) -> std::optional<Instant> {
        const auto d = finiteNumber(v);
        if (!d)
            return std::nullopt;
        return Instant{*d};
    });
}

std::optional<std::optional<qint64>> optionalInteger(const QJsonObject &o, QLatin1StringView key)
{
    return optionalOf<qint64>(o, key, [](const QJsonValue &v) -> std::optional<qint64> {
        if (!v.isDouble())
            return std::nullopt;
        // Integers up to 64 bits stay exact in QJsonValue; a double counts only
        // when it is integral and inside the signed 64-bit range.
        const QVariant var = v.toVariant();
        if (var.typeId() == QMetaType::LongLong || var.typeId() == QMetaType::Int)
            return var.toLongLong();
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || d < -9.2233720368547748e18 || d >= 9.2233720368547758e18)
            return std::nullopt;
        return qint64(d);
    });
}

} // namespace JsonRead
