#include "Session.h"

#include "Assign.h"
#include "API.h"
#include "DemoWorkspace.h"
#include "KeptTimers.h"
#include "Keychain.h"
#include "LocalTimer.h"
#include "Preferences.h"
#include "TrackingLog.h"
#include "TrackingStore.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace {

QString trimSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The member whose timer the stored snapshot holds: the last one signed in.
QString lastMember()
{
    return Preferences::value(u"user.email"_s).toString();
}

bool sameMember(const QString &a, const QString &b)
{
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

Session::Session(LocalTimer &timer, QObject *parent)
    : QObject(parent), m_timer(timer)
{
    m_keyring.setMaxThreadCount(1);
}

Session::~Session()
{
    m_keyring.waitForDone();
}

void Session::keepToken(std::optional<QString> token)
{
    m_keyring.start([this, token] {
        if (!token) {
            keepToken(std::nullopt);
            return;
        }
        const Keychain::Kept kept = Keychain::save(*token, u"token"_s);
        if (kept == Keychain::Kept::nowhere)
            return; // logged; the next start asks to sign in
        // Queued to this object: dropped if it has gone by then.
        QMetaObject::invokeMethod(this, [this, kept] { Q_EMIT tokenSaved(kept == Keychain::Kept::file); },
                                  Qt::QueuedConnection);
    });
}

bool Session::restore()
{
    const auto token = Keychain::read(u"token"_s);
    if (!token)
        return false;
    m_token = *token;
    m_signedIn = true;
    m_userName = Preferences::value(u"user.name"_s).toString();
    m_userEmail = lastMember();
    m_userRole = Preferences::value(u"user.role"_s).toString();
    return true;
}

QCoro::Task<void> Session::signIn(QString email, QString password)
{
    QPointer<Session> self(this);
    const API::SignIn session = co_await API::login(trimSpacesAndTabs(email), password);
    if (!self)
        co_return;

    // The same member signing in again (their session expired) keeps the local
    // timer: its queued stops and running session are theirs and still owed
    // to the server. Anyone else starts from an empty timer; what the last
    // member still owed is kept aside for them.
    if (!sameMember(lastMember(), session.email)) {
        keepMemberTimer();
        m_timer.reset();
    }
    restoreKeptTimer(session.email);

    setToken(session.token);
    keepToken(session.token);
    setUser(session.name, session.email, session.role);
    Preferences::setValue(u"user.name"_s, session.name);
    Preferences::setValue(u"user.email"_s, session.email);
    Preferences::setValue(u"user.role"_s, session.role);
    setIsDemo(false);
    setSignedIn(true);
}

std::optional<QString> Session::signOut()
{
    std::optional<QString> pushWith = serverToken();
    if (!pushWith)
        m_timer.reset(); // the demo's sessions never reach the server or a later account
    setToken(std::nullopt);
    Keychain::remove(u"token"_s);
    setSignedIn(false);
    setIsDemo(false);
    return pushWith;
}

void Session::enterDemo()
{
    if (!m_isDemo)
        keepMemberTimer();
    m_timer.reset();
    setIsDemo(true);
    setSignedIn(true);
    setUser(DemoWorkspace::userName, DemoWorkspace::userEmail, DemoWorkspace::userRole);
}

void Session::keepMemberTimer()
{
    const std::optional<TrackingSnapshot> read = LocalTimer::readStore();
    if (!read)
        return; // the reset that follows cannot write either: the stored state stays
    const TrackingSnapshot &stored = *read;
    if (!LocalTimer::stopsQueued(stored))
        return;
    const QString member = lastMember();
    if (member.isEmpty()) {
        qCWarning(lcTracking, "%ld queued stops belong to no known member; they are dropped",
                  long(stored.pending->size()));
        return;
    }
    KeptTimers::keep(member, stored);
}

void Session::restoreKeptTimer(const QString &member)
{
    const std::optional<TrackingSnapshot> kept = KeptTimers::take(member);
    if (!kept)
        return;
    const StoreResult stored = TrackingStore::change([&](TrackingSnapshot &snap) {
        KeptTimers::merge(snap, *kept);
        return true;
    });
    if (!stored.ok()) {
        KeptTimers::keep(member, *kept); // for the next sign-in
        return;
    }
    qCInfo(lcTracking, "gave %s back %ld kept stops", qUtf8Printable(member),
           long(kept->pending ? kept->pending->size() : 0));
    m_timer.take(stored);
}

void Session::setSignedIn(bool v)
{
    if (assign(m_signedIn, v))
        Q_EMIT signedInChanged();
}

void Session::setIsDemo(bool v)
{
    if (assign(m_isDemo, v))
        Q_EMIT isDemoChanged();
}

void Session::setToken(std::optional<QString> token)
{
    if (assign(m_token, std::move(token)))
        Q_EMIT tokenChanged();
}

void Session::setUser(const QString &name, const QString &email, const QString &role)
{
    if (name == m_userName && email == m_userEmail && role == m_userRole)
        return;
    m_userName = name;
    m_userEmail = email;
    m_userRole = role;
    Q_EMIT userChanged();
}
