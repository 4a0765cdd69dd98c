#pragma once

#include "Calendar.h"
#include "Store.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// The figures of the team's week, for the team page: each member's hours per
// day and for the week (each in the member's own time zone), their activity,
// the entries needing review, and the week's totals per project.
struct WeekReport {
    struct Day {
        QDate date;
        qint64 ms = 0;
        std::optional<double> activity; // mean of the day's samples
        int review = 0;                 // entries touching the day that need review
    };
    struct Row {
        Store::Member member;
        QList<Day> days; // Monday to Sunday
        qint64 weekMs = 0;
        std::optional<double> activity;
        // Entries needing review: on no known project (in the week's hours)
        // and kept out of every total for an implausible time (received
        // during the week).
        int unknownProject = 0;
        int implausible = 0;
        int review() const { return unknownProject + implausible; }
    };
    struct Project {
        std::optional<qint64> id; // nothing for a project the workspace does not know
        QString name;
        qint64 ms = 0;
    };
    // What compute() needs of one member.
    struct Input {
        Store::Member member;
        QList<Store::Entry> entries;         // overlapping the member's week
        QList<Store::ActivitySample> samples; // of the member's week
        QList<Store::Entry> implausible;     // received during the week
    };

    QDate monday;
    QList<Row> rows;
    QList<qint64> dayMs; // the team's hours per day, Monday to Sunday
    qint64 weekMs = 0;
    QList<Project> projects; // most time first

    // The Monday of the week holding `date`.
    static QDate mondayOf(QDate date);
    // The member's seven days from `monday` in their own time zone.
    static Calendar::Span weekSpan(QDate monday, const Store::Member &member);
    static WeekReport compute(QDate monday, const QList<Input> &members, qint64 now);
    // The week of `monday` for the members, read from the store.
    static WeekReport load(Store &store, const QList<Store::Member> &members, QDate monday);
};
