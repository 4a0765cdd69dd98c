#pragma once

#include "Instant.h"
#include "Platform.h"
#include "QuestionNotice.h"
#include "SystemSleep.h"

#include <QObject>
#include <QString>

#include <optional>

class LocalTimer;
class Session;
class Settings;

// Notices time away while the timer runs (an idle spell of at least the
// preferred minutes, or a sleep of the computer) and, when the member is
// back, asks what to do with it: keep it, or discard it, which ends the
// session where the member went away (and, if they like, goes on tracking
// the same work from their return). The question is shown as a notice with
// answer buttons and as a banner in the window and the tray panel until it
// is answered; unanswered for a day, the time is kept.
//
// Lengths are measured on the platform's elapsed clock, so a wall clock that
// is set (by NTP or by hand) is never taken for time away.
class AwayTracker : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool asking READ asking NOTIFY questionChanged)
    Q_PROPERTY(QString question READ questionText NOTIFY questionChanged)
    Q_PROPERTY(QString detail READ detailText NOTIFY questionChanged)
    Q_PROPERTY(double awaySeconds READ awaySeconds NOTIFY questionChanged)
    Q_PROPERTY(bool canKeepTracking READ canKeepTracking NOTIFY questionChanged)

public:
    // One question about one session.
    struct Question {
        QString sessionID;
        Instant from;        // when the member went away (never before the session's start)
        double fromElapsed;  // the same moment on the elapsed clock
        double seconds;      // length of the time away
        Instant askedAt;     // model time of asking, for the one-day limit
        Instant until() const { return from.addSeconds(seconds); }
    };

    static constexpr double answerWindowSeconds = 24 * 3600;

    AwayTracker(const Platform &platform, const Settings &settings, Session &session, LocalTimer &timer,
                QObject *parent = nullptr);

    const std::optional<Question> &pending() const { return m_question; }
    bool asking() const { return m_question.has_value(); }
    QString questionText() const;
    // "From 12:03 to 12:45. Keep this time in your session, or discard it."
    QString detailText() const;
    double awaySeconds() const { return m_question ? m_question->seconds : 0; }
    // The session asked about still runs, so tracking can go on after a discard.
    bool canKeepTracking() const;

    // Every tick, with the model's time.
    void tick(Instant now);
    // While the member is away, and after a wake until their first input:
    // nothing of this time is captured or sent.
    bool holdsCaptures() const;

    Q_INVOKABLE void keep();
    Q_INVOKABLE bool discard() { return answerDiscard(false); }
    Q_INVOKABLE bool discardAndKeepTracking() { return answerDiscard(true); }

    SystemSleep &systemSleep() { return m_sleep; }

public Q_SLOTS:
    void sleeping();
    void woke();

Q_SIGNALS:
    void questionChanged();
    // The stored timer was split: the server has a stop (and maybe a start) to hear of.
    void timerSplit();

private:
    struct Spell {
        Instant from;
        double fromElapsed;
        bool asleep = false;
        double sleptElapsed = 0; // when the computer went to sleep
    };

    bool watching() const;
    // The open spell ends at `untilElapsed`; asks about it when it falls in the running session.
    void close(double untilElapsed);
    void ask(Question question);
    void clearQuestion();
    // The open question outlives a restart of the app, within its day.
    void remember() const;
    void restore();
    bool answerDiscard(bool keepTracking);
    void noticeAnswered(const QString &key);

    const Platform &m_platform;
    const Settings &m_settings;
    Session &m_session;
    LocalTimer &m_timer;
    SystemSleep m_sleep;
    QuestionNotice m_notice;

    Instant m_now;
    std::optional<Spell> m_spell;
    std::optional<Question> m_question;
    double m_lastIdle = 0;
    bool m_couldKeepTracking = false;
    // Woken and no input seen since: the elapsed time of the wake.
    std::optional<double> m_wokeElapsed;
};
