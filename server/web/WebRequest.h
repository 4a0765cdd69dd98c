#pragma once

#include <QDate>
#include <QString>

#include <optional>

namespace httplib {
struct Request;
}

// Reading what a browser sent: query parameters, form fields and dates.
namespace WebRequest {

QString fromStd(const std::string &s);

// The query parameter, empty when absent.
QString param(const httplib::Request &req, const char *name);

// A field of an application/x-www-form-urlencoded body, decoded ("+" is a
// space, a literal plus arrives as %2B); empty when absent.
QString formValue(const httplib::Request &req, const QString &name);

// A date written yyyy-MM-dd; nothing for empty or other text.
std::optional<QDate> date(const QString &text);

} // namespace WebRequest
