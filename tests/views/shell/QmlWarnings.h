#pragma once

#include <QMessageLogContext>
#include <QString>

#include <atomic>
#include <cstring>

// Counts the warnings QML gives (binding errors, type errors, unknown
// properties) while it lives, so a test can fail on any of them. Every
// message is passed on to the handler that was there before.
class QmlWarnings {
public:
    QmlWarnings() { s_previous = qInstallMessageHandler(handler); }
    ~QmlWarnings() { qInstallMessageHandler(s_previous); }
    QmlWarnings(const QmlWarnings &) = delete;
    QmlWarnings &operator=(const QmlWarnings &) = delete;

    int count() const { return s_count; }
    QString last() const { return s_last; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        const char *category = context.category ? context.category : "";
        const bool fromQml = std::strcmp(category, "qml") == 0 || std::strcmp(category, "js") == 0
                             || std::strncmp(category, "qt.qml", 6) == 0 || message.contains(QLatin1StringView("qrc:/"));
        if (type != QtDebugMsg && type != QtInfoMsg && fromQml) {
            ++s_count;
            s_last = message;
        }
        if (s_previous)
            s_previous(type, context, message);
    }

    static inline std::atomic<int> s_count{0};
    static inline QString s_last;
    static inline QtMessageHandler s_previous = nullptr;
};
