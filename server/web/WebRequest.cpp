#include "WebRequest.h"

#include <QUrlQuery>

#include <httplib.h>

namespace WebRequest {

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString param(const httplib::Request &req, const char *name)
{
    return req.has_param(name) ? fromStd(req.get_param_value(name)) : QString();
}

QString formValue(const httplib::Request &req, const QString &name)
{
    const QUrlQuery form(fromStd(req.body).replace(QLatin1Char('+'), QStringLiteral("%20")));
    return form.queryItemValue(name, QUrl::FullyDecoded);
}

std::optional<QDate> date(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QDate d = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

} // namespace WebRequest
