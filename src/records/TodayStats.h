#pragma once

#include <QString>

// The member's day and week as the server reports them. The texts are
// preformatted by the server; the defaults are what an empty answer gives.
struct TodayStats {
    QString tracked = QStringLiteral("0m");
    QString meeting = QStringLiteral("0m");
    QString productive = QStringLiteral("0m");
    QString manual = QStringLiteral("0m");
    double productivePercent = 0;
    QString start = QStringLiteral("--:--");
    QString end = QStringLiteral("--:--");
    double todaySeconds = 0;
    double weekSeconds = 0;
};
