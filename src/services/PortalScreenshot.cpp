#include "PortalScreenshot.h"

#include "SessionBus.h"
#include "Uuid.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
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
constexpr auto responseTimeout = 15s;

} // namespace

bool PortalScreenshot::available()
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(service).value();
}

void PortalScreenshot::response(uint code, const QVariantMap &results)
{
    m_done = true;
    m_code = code;
    m_results = results;
    Q_EMIT responded();
}

QCoro::Task<PortalScreenshot::Result> PortalScreenshot::take()
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        co_return Result{{}, u"no session bus"_s};

    // The portal answers on a request object whose path it derives from our
    // bus name and a token of ours; listen there before asking, so the
    // answer cannot slip past.
    // Tokens are letters, digits and '_' only.
    const QString token = u"zimbrel"_s + Uuid::create().remove(u'-');
    const QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    const QString requestPath = path + u"/request/"_s + sender + u'/' + token;
    auto listener = std::make_unique<PortalScreenshot>();
    bus.connect(service, requestPath, u"org.freedesktop.portal.Request"_s, u"Response"_s, listener.get(),
                SLOT(response(uint, QVariantMap)));

    QVariantMap options;
    options.insert(u"handle_token"_s, token);
    options.insert(u"interactive"_s, false);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, u"Screenshot"_s);
    call.setArguments({QString(), options});
    QDBusPendingCall pending = bus.asyncCall(call, int(std::chrono::milliseconds(callTimeout).count()));
    auto watcher = std::make_unique<QDBusPendingCallWatcher>(pending);
    if (!watcher->isFinished())
        co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished);
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
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
    if (listener->m_code == 1)   // declined by the user or the desktop's policy
        co_return Result{};
    if (listener->m_code != 0)
        co_return Result{{}, u"the screenshot portal failed"_s};
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
