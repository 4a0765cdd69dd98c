#include "PortalScreenshot.h"

#include "SessionBus.h"
#include "Uuid.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusObjectPath>
#include <QFile>
#include <QPointer>
#include <QUrl>

#include <QCoro/QCoroSignal>

#include <chrono>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString service = u"org.freedesktop.portal.Desktop"_s;
const QString path = u"/org/freedesktop/portal/desktop"_s;
const QString interface = u"org.freedesktop.portal.Screenshot"_s;

// Long enough for a busy compositor, short enough that a portal that never
// answers only costs this screenshot.
constexpr auto callTimeout = 5s;
// A portal the bus starts on first use (the first screenshot after login)
// starts its desktop backends before it answers: seconds on a busy machine.
// The bus gives up on a start after 25 s by default and says so.
constexpr auto startTimeout = 30s;
// The permission store answers from memory; asked every few seconds, it
// must never hold up the program for long.
constexpr auto lookupTimeout = 500ms;

} // namespace

bool PortalScreenshot::available()
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(service).value())
        return true;
    // A portal the bus starts on first use counts as there.
    const QDBusReply<QStringList> activatable = bus.call(
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s,
                                       u"ListActivatableNames"_s),
        QDBus::Block, int(std::chrono::milliseconds(lookupTimeout).count()));
    return activatable.isValid() && activatable.value().contains(service);
}

PortalScreenshot::Stored PortalScreenshot::storedPermission()
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        return Stored::unset;
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        u"org.freedesktop.impl.portal.PermissionStore"_s, u"/org/freedesktop/impl/portal/PermissionStore"_s,
        u"org.freedesktop.impl.portal.PermissionStore"_s, u"Lookup"_s);
    lookup.setArguments({u"screenshot"_s, u"screenshot"_s});
    // Answers (a{sas} permissions, v data); a missing table is an error.
    const QDBusMessage reply = bus.call(lookup, QDBus::Block, int(std::chrono::milliseconds(lookupTimeout).count()));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return Stored::unset;
    const QDBusArgument table = reply.arguments().constFirst().value<QDBusArgument>();
    QMap<QString, QStringList> permissions;
    table >> permissions;
    // Programs outside a sandbox have the empty application id.
    const auto found = permissions.constFind(QString());
    if (found == permissions.cend() || found->isEmpty())
        return Stored::unset;
    if (found->constFirst() == "yes"_L1)
        return Stored::yes;
    if (found->constFirst() == "no"_L1)
        return Stored::no;
    return Stored::unset;
}

void PortalScreenshot::response(uint code, const QVariantMap &results)
{
    m_done = true;
    m_code = code;
    m_results = results;
    Q_EMIT responded();
}

void PortalScreenshot::portalGone()
{
    if (m_done)
        return;
    m_done = true;
    m_gone = true;
    Q_EMIT responded();
}

QCoro::Task<PortalScreenshot::Result> PortalScreenshot::take(std::chrono::milliseconds responseTimeout)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        co_return Result{{}, u"no session bus"_s};

    // Started (or found running) before the request, so the request's short
    // timeout covers only the portal's answer, not its start-up. One the bus
    // cannot start may still run, started some other way: the request tells.
    QDBusMessage start = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                        u"org.freedesktop.DBus"_s, u"StartServiceByName"_s);
    start.setArguments({service, 0u});
    auto startWatcher = std::make_unique<QDBusPendingCallWatcher>(
        bus.asyncCall(start, int(std::chrono::milliseconds(startTimeout).count())));
    if (!startWatcher->isFinished())
        co_await qCoro(startWatcher.get(), &QDBusPendingCallWatcher::finished);
    if (startWatcher->isError() && startWatcher->error().type() != QDBusError::ServiceUnknown)
        co_return Result{{}, startWatcher->error().message()};

    // The portal answers on a request object whose path it derives from our
    // bus name and a token of ours; listen there before asking, so the
    // answer cannot slip past.
    // Tokens are letters, digits and '_' only.
    const QString token = u"zimbrel"_s + Uuid::create().remove(u'-');
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    const QString requestPath = path + u"/request/"_s + sender + u'/' + token;
    auto listener = std::make_unique<PortalScreenshot>();
    QDBusServiceWatcher watcher(service, bus, QDBusServiceWatcher::WatchForUnregistration);
    connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, listener.get(), &PortalScreenshot::portalGone);
    bus.connect(service, requestPath, u"org.freedesktop.portal.Request"_s, u"Response"_s, listener.get(),
                SLOT(response(uint, QVariantMap)));

    QVariantMap options;
    options.insert(u"handle_token"_s, token);
    options.insert(u"interactive"_s, false);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, u"Screenshot"_s);
    call.setArguments({QString(), options});
    QDBusPendingCall pending = bus.asyncCall(call, int(std::chrono::milliseconds(callTimeout).count()));
    auto callWatcher = std::make_unique<QDBusPendingCallWatcher>(pending);
    if (!callWatcher->isFinished())
        co_await qCoro(callWatcher.get(), &QDBusPendingCallWatcher::finished);
    const QDBusPendingReply<QDBusObjectPath> reply = *callWatcher;
    if (reply.isError()) {
        bus.disconnect(service, requestPath, u"org.freedesktop.portal.Request"_s, u"Response"_s, listener.get(),
                       SLOT(response(uint, QVariantMap)));
        co_return Result{{}, reply.error().message()};
    }
    // Older portals choose the request path themselves.
    const QString handle = reply.value().path();
    if (handle != requestPath && !handle.isEmpty() && !listener->m_done) {
        bus.connect(service, handle, u"org.freedesktop.portal.Request"_s, u"Response"_s, listener.get(),
                    SLOT(response(uint, QVariantMap)));
    }
    if (!listener->m_done)
        co_await qCoro(listener.get(), &PortalScreenshot::responded, responseTimeout);
    bus.disconnect(service, requestPath, u"org.freedesktop.portal.Request"_s, u"Response"_s, listener.get(),
                   SLOT(response(uint, QVariantMap)));
    if (handle != requestPath && !handle.isEmpty())
        bus.disconnect(service, handle, u"org.freedesktop.portal.Request"_s, u"Response"_s, listener.get(),
                       SLOT(response(uint, QVariantMap)));

    if (!listener->m_done)
        co_return Result{{}, u"the screenshot portal did not answer"_s};
    if (listener->m_gone)
        co_return Result{{}, u"the screenshot portal left the session bus"_s};
    if (listener->m_code == 1)   // by the member, or by the desktop on its behalf
        co_return Result{{}, u"the screenshot was cancelled"_s};
    if (listener->m_code != 0)
        co_return Result{{}, u"the screenshot portal refused (screenshots not allowed?)"_s};
    const QUrl uri(listener->m_results.value(u"uri"_s).toString());
    if (!uri.isLocalFile())
        co_return Result{{}, u"the screenshot portal returned no file"_s};
    const QString file = uri.toLocalFile();
    QImage image(file);
    // The portal leaves its file in the user's pictures; it was only for us.
    QFile::remove(file);
    if (image.isNull())
        co_return Result{{}, u"the screenshot portal's file could not be read"_s};
    co_return Result{image, {}};
}
