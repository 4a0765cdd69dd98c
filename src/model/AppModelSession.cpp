// Sign-in, sign-out and the demo workspace.
#include "AppModel.h"

#include "API.h"
#include "DemoWorkspace.h"
#include "Keychain.h"
#include "Preferences.h"
#include "TrackingLog.h"

#include <QCoroTimer>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

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
} // namespace

QCoro::Task<void> AppModel::signIn(QString email, QString password)
{
    QPointer<AppModel> self(this);
    const API::SignIn session = co_await API::login(trimSpacesAndTabs(email), password);
    if (!self)
        co_return;

    // The same member signing in again (their session expired) keeps the local
    // timer: its queued stops and running session are theirs and still owed
    // to the server. Anyone else starts from an empty timer.
    const QString storedEmail = Preferences::value(u"user.email"_s).toString();
    const bool sameMember = !storedEmail.isEmpty() && storedEmail.compare(session.email, Qt::CaseInsensitive) == 0;
    if (!sameMember)
        resetLocalTimer();

    m_token = session.token;
    Keychain::save(session.token, u"token"_s);
    setUser(session.name, session.email, session.role);
    Preferences::setValue(u"user.name"_s, session.name);
    Preferences::setValue(u"user.email"_s, session.email);
    Preferences::setValue(u"user.role"_s, session.role);
    setIsDemo(false);
    setSignedIn(true);
    // An old failure describes data that is no longer shown.
    setSync(SyncState::idle());
    setLoadError(std::nullopt);
    co_await refresh();
}

void AppModel::signOut()
{
    if (m_snapshot.isRunning)
        setRunning(false);
    if (m_token) {
        if (m_isDemo)
            resetLocalTimer();
        else
            signOutPush(*m_token, m_localEpoch);
    } else {
        resetLocalTimer();
    }
    m_token.reset();
    Keychain::remove(u"token"_s);
    setSignedIn(false);
    setIsDemo(false);
    setProjects({});
    setProjectID(std::nullopt);
    setTaskID(std::nullopt);
    setStats(TodayStats{});
    Q_EMIT syncTextChanged();
}

QCoro::Task<void> AppModel::signOutPush(QString token, int epoch)
{
    QPointer<AppModel> self(this);
    try {
        // A pass already running would make ours return at once and the stop
        // would never be sent: wait for it to end first.
        while (self && m_syncing)
            co_await QCoro::sleepFor(50ms);
        if (!self)
            co_return;
        co_await pushChanges(token, epoch);
        co_await API::logout(token);
    } catch (...) {
    }
}

void AppModel::enterDemo()
{
    resetLocalTimer();
    setIsDemo(true);
    setSignedIn(true);
    setUser(DemoWorkspace::userName, DemoWorkspace::userEmail, DemoWorkspace::userRole);
    setProjects(DemoWorkspace::projects());
    setStats(DemoWorkspace::stats());
    selectFirstIfNeeded();
}
