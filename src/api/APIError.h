#pragma once

#include <QString>

#include <exception>

// The one error of the server client. `message` is a complete sentence shown
// to the user as it is.
class APIError : public std::exception {
public:
    explicit APIError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    const QString &message() const { return m_message; }
    QString localizedDescription() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

    bool operator==(const APIError &other) const { return m_message == other.m_message; }

private:
    QString m_message;
    QByteArray m_utf8;
};
