#include "AwayTracker.h"

#include "AwaySplit.h"
#include "Durations.h"
#include "LocalTimer.h"
#include "Preferences.h"
#include "Session.h"
#include "Settings.h"
#include "TrackingControl.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {
// A spell that begins this close to the end of the one asked about continues it.
constexpr double adjoiningSeconds = 2;
const QString questionKey = u"away.question"_s;
// Ticks seen this long after logind announced a sleep: the computer is awake.
constexpr double missedWakeSeconds = 120;
} // namespace

AwayTracker::AwayTracker(const Platform &platform, const Settings &settings, Session &session, LocalTimer &timer,
                         QObject *parent)
    : QObject(parent)
    , m_platform(platform)
    , m_settings(settings)
    , m_session(session)
    , m_timer(timer)
    , m_now(platform.clock())
{
    connect(&m_sleep, &SystemSleep::sleeping, this, &AwayTracker::sleeping);
    connect(&m_sleep, &SystemSleep::woke, this, &AwayTracker::woke);
    connect(&m_notice, &QuestionNotice::answered, this, &AwayTracker::noticeAnswered);
    restore();
}

QString AwayTracker::questionText() const
{
    return m_question ? u"You were away for "_s + Durations::shortDuration(m_question->seconds) : QString();
}

QString AwayTracker::detailText() const
{
    if (!m_question)
        return {};
    const auto clock = [](Instant at) { return at.toDateTime().toString(u"HH:mm"_s); };
    return u"From %1 to %2. Keep this time in your session, or discard it."_s.arg(clock(m_question->from),
                                                                                   clock(m_question->until()));
}

bool AwayTracker::canKeepTracking() const
{
    const TrackingSnapshot &snap = m_timer.snapshot();
    return m_question && snap.isRunning && snap.sessionID == m_question->sessionID;
}

bool AwayTracker::watching() const
{
    return m_settings.askAway() && m_timer.isRunning() && m_timer.snapshot().sessionID.has_value();
}

bool AwayTracker::holdsCaptures() const
{
    return m_settings.askAway() && (m_spell || m_wokeElapsed);
}

void AwayTracker::tick(Instant now)
{
    m_now = now;
    if (m_question) {
        if (now.secondsSince(m_question->askedAt) >= answerWindowSeconds) {
            qCInfo(lcTracking, "time away kept: not answered within a day");
            clearQuestion();
        } else if (!canKeepTracking()) {
            // Stopped meanwhile: a discard can still move its queued stop back,
            // but not once the server has accepted the stop.
            const TrackingSnapshot &snap = m_timer.snapshot();
            const bool queued = snap.pending && std::any_of(snap.pending->cbegin(), snap.pending->cend(),
                                                            [&](const PendingStop &p) {
                                                                return p.sessionID == m_question->sessionID;
                                                            });
            if (!queued) {
                qCInfo(lcTracking, "time away kept: the session's stop has reached the server");
                clearQuestion();
            }
        }
        // "Discard and keep tracking" no longer applies once the session stopped.
        if (m_question && m_couldKeepTracking != canKeepTracking()) {
            m_couldKeepTracking = canKeepTracking();
            Q_EMIT questionChanged();
        }
    }
    if (!watching()) {
        m_spell.reset();
        m_wokeElapsed.reset();
        m_lastIdle = 0;
        return;
    }
    const double elapsed = m_platform.elapsed();
    if (m_spell && m_spell->asleep) {
        // Ticks stop while asleep; ticking on long after the sleep began
        // means the wake was missed (logind restarted, say).
        if (elapsed - m_spell->sleptElapsed > missedWakeSeconds)
            woke();
        return;
    }
    const double idle = std::max(0.0, m_platform.idleSeconds());
    const bool input = idle < m_lastIdle;
    m_lastIdle = idle;
    if (m_wokeElapsed) {
        // Back after a wake once there is input newer than the wake.
        if (idle < elapsed - *m_wokeElapsed)
            m_wokeElapsed.reset();
        return;
    }
    if (m_spell) {
        if (input)
            close(elapsed - idle);
        return;
    }
    if (idle >= m_settings.awayMinutes() * 60.0)
        m_spell = Spell{now.addSeconds(-idle), elapsed - idle};
}

void AwayTracker::sleeping()
{
    if (!watching())
        return;
    const double elapsed = m_platform.elapsed();
    if (m_spell) {
        m_spell->asleep = true;
    } else if (m_question && m_wokeElapsed && m_question->sessionID == m_timer.snapshot().sessionID) {
        // Asleep again without input since the last wake: one spell covering both.
        m_spell = Spell{m_question->from, m_question->fromElapsed, true};
    } else {
        m_spell = Spell{m_platform.clock(), elapsed, true};
    }
    m_spell->sleptElapsed = elapsed;
    m_wokeElapsed.reset();
}

void AwayTracker::woke()
{
    if (!m_spell || !m_spell->asleep)
        return;
    const double elapsed = m_platform.elapsed();
    close(elapsed);
    m_wokeElapsed = elapsed;
    m_lastIdle = 0;
}

void AwayTracker::close(double untilElapsed)
{
    const Spell spell = *std::exchange(m_spell, std::nullopt);
    const TrackingSnapshot &snap = m_timer.snapshot();
    if (!snap.isRunning || !snap.sessionID)
        return;
    Question q{*snap.sessionID, spell.from, spell.fromElapsed, 0, m_now};
    // Idle already when the timer was started: away from the session's start.
    if (snap.startedAt && q.from < *snap.startedAt) {
        q.fromElapsed += snap.startedAt->secondsSince(q.from);
        q.from = *snap.startedAt;
    }
    // Continues the spell already asked about: one question for both.
    if (m_question && m_question->sessionID == q.sessionID
        && q.fromElapsed <= m_question->fromElapsed + m_question->seconds + adjoiningSeconds) {
        q.from = std::min(q.from, m_question->from);
        q.fromElapsed = std::min(q.fromElapsed, m_question->fromElapsed);
    }
    q.seconds = untilElapsed - q.fromElapsed;
    if (q.seconds < 1)
        return;
    ask(q);
}

void AwayTracker::ask(Question question)
{
    if (m_question && m_question->from != question.from)
        qCInfo(lcTracking, "time away kept: an earlier question was left unanswered");
    m_question = question;
    m_couldKeepTracking = canKeepTracking();
    qCInfo(lcTracking, "away for %.0f s from %s", question.seconds,
           qUtf8Printable(question.from.toDateTime().toString(Qt::ISODate)));
    remember();
    m_notice.ask(questionText(), detailText(),
                 {{u"keep"_s, u"Keep"_s}, {u"discard"_s, u"Discard"_s}});
    Q_EMIT questionChanged();
}

void AwayTracker::remember() const
{
    const QJsonObject o{
        {u"sessionID"_s, m_question->sessionID},
        {u"from"_s, m_question->from.seconds},
        {u"seconds"_s, m_question->seconds},
        {u"askedAt"_s, m_question->askedAt.seconds},
    };
    Preferences::setValue(questionKey, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

void AwayTracker::restore()
{
    if (!Preferences::contains(questionKey))
        return;
    const QJsonObject o = QJsonDocument::fromJson(Preferences::value(questionKey).toString().toUtf8()).object();
    const QString session = o.value(u"sessionID"_s).toString();
    const Instant from{o.value(u"from"_s).toDouble()};
    const double seconds = o.value(u"seconds"_s).toDouble();
    const Instant askedAt{o.value(u"askedAt"_s).toDouble()};
    const TrackingSnapshot &snap = m_timer.snapshot();
    const bool known = snap.sessionID == session
                       || (snap.pending && std::any_of(snap.pending->cbegin(), snap.pending->cend(),
                                                       [&](const PendingStop &p) { return p.sessionID == session; }));
    const double age = m_now.secondsSince(askedAt);
    if (session.isEmpty() || !known || !(seconds >= 1) || !(age >= 0 && age < answerWindowSeconds)) {
        Preferences::remove(questionKey);
        return;
    }
    ask(Question{session, from, m_platform.elapsed() - m_now.secondsSince(from), seconds, askedAt});
}

void AwayTracker::clearQuestion()
{
    if (!m_question)
        return;
    m_question.reset();
    Preferences::remove(questionKey);
    m_notice.withdraw();
    Q_EMIT questionChanged();
}

void AwayTracker::keep()
{
    if (m_question)
        qCInfo(lcTracking, "time away kept");
    clearQuestion();
}

bool AwayTracker::answerDiscard(bool keepTracking)
{
    if (!m_question)
        return false;
    const Question q = *m_question;
    // Tracking goes on from the member's return, not from the answer: the
    // work done while the question waited is theirs.
    std::optional<Instant> restartAt;
    if (keepTracking)
        restartAt = std::min(q.until(), m_platform.clock());
    const AwaySplit::Result result = AwaySplit::discard(q.sessionID, q.from, restartAt);
    if (!result.store.ok()) {
        // Nothing changed; the question stays so the member can answer again.
        qCWarning(lcTracking, "time away not discarded: %s", qUtf8Printable(result.store.error));
        return false;
    }
    m_timer.take(result.store);
    if (result.outcome == AwaySplit::Outcome::stopped || result.outcome == AwaySplit::Outcome::restarted)
        TrackingControl::reload();
    // Demo stops are never queued for the server.
    if (m_session.isDemo() && result.outcome != AwaySplit::Outcome::unchanged)
        m_timer.take(TrackingStore::change([](TrackingSnapshot &snap) {
            if (!snap.pending)
                return false;
            snap.pending.reset();
            return true;
        }));
    qCInfo(lcTracking, "time away discarded from %s (%d)", qUtf8Printable(q.from.toDateTime().toString(Qt::ISODate)),
           int(result.outcome));
    m_spell.reset();
    clearQuestion();
    if (result.outcome != AwaySplit::Outcome::unchanged)
        Q_EMIT timerSplit();
    return true;
}

void AwayTracker::noticeAnswered(const QString &key)
{
    if (key == u"keep")
        keep();
    else if (key == u"discard")
        discard();
}
