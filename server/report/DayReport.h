#pragma once

#include "Calendar.h"
#include "Store.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// The figures of one member's calendar day, for the day page: the entries
// clipped to the day, activity per ten minutes, applications with their
// time, and the screenshots with what was going on when each was taken.
struct DayReport {
    static constexpr qint64 slotMs = 10 * 60 * 1000;

    struct Entry {
        qint64 id = 0;
        qint64 from = 0, to = 0; // clipped to the day; a running entry ends now
        bool running = false;
        std::optional<qint64> projectId;
        QString project, task; // names, else what the client sent
        bool needsReview = false;
        bool isPrivate = false;
        QString type;
        qint64 ms() const { return to - from; }
    };
    // Ten minutes from `from`; activity is the mean of the samples in it,
    // nothing when there were none.
    struct Slot {
        qint64 from = 0;
        std::optional<double> activity;
        qint64 keys = 0, clicks = 0;
    };
    struct App {
        QString name;
        qint64 ms = 0;
    };
    struct Shot {
        qint64 id = 0;
        qint64 at = 0;
        std::optional<double> activity; // of its ten minutes
        QString app;                    // in use when it was taken
        QString project;                // of the entry it was taken in
    };

    Calendar::Span span;
    QList<Entry> entries;
    QList<Slot> slots; // every ten minutes of the day, in order
    QList<App> apps;   // longest first
    QList<Shot> shots; // in order
    qint64 trackedMs = 0;
    qint64 reviewMs = 0; // of it, in entries needing review
    std::optional<double> activity; // mean of the day's samples

    // A sample covers the minute before its time, so the samples of the day
    // are those in (from, to]; `now` ends a running entry.
    static DayReport compute(Calendar::Span span, const QList<Store::Entry> &entries,
                             const QList<Store::ActivitySample> &samples, const QList<Store::UsageRecord> &usage,
                             const QList<Store::Screenshot> &screenshots, qint64 now);
    // The day `date` of the member in their time zone, read from the store.
    static DayReport load(Store &store, const Store::Member &member, QDate date);

    // The slot holding `instant` (inside the day).
    int slotOf(qint64 instant) const;
};
