#include "QuestionNotice.h"

#include "Notifier.h"
#include "SessionBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

#include <utility>

using namespace Qt::StringLiterals;

namespace {
const QString service = u"org.freedesktop.Notifications"_s;
const QString path = u"/org/freedesktop/Notifications"_s;
const QString interface = u"org.freedesktop.Notifications"_s;
} // namespace

QuestionNotice::QuestionNotice(QObject *parent)
    : QObject(parent)
{
}

QuestionNotice::~QuestionNotice()
{
    withdraw();
}

void QuestionNotice::ask(const QString &title, const QString &body, const QList<Action> &actions)
{
    QDBusConnection bus = SessionBus::connection();
    if (!bus.isConnected())
        return;
    if (!m_listening) {
        m_listening = bus.connect(service, path, interface, u"ActionInvoked"_s, this,
                                  SLOT(actionInvoked(uint, QString)));
        bus.connect(service, path, interface, u"NotificationClosed"_s, this, SLOT(closed(uint, uint)));
    }
    QStringList flat;
    for (const Action &a : actions)
        flat << a.key << a.label;
    Question question{title, body, flat};
    if (m_inFlight) {
        m_next = std::move(question);
        return;
    }
    send(question);
}

void QuestionNotice::send(const Question &question)
{
    QVariantMap hints;
    hints.insert(u"sound-name"_s, QString::fromLatin1(Notifier::soundName));
    // Stays until answered: the question matters more than a passing notice.
    hints.insert(u"resident"_s, true);
    QDBusMessage notify = QDBusMessage::createMethodCall(service, path, interface, u"Notify"_s);
    notify.setArguments({QString::fromLatin1(Notifier::appName), m_id, QString::fromLatin1(Notifier::iconName),
                         question.title, question.body, question.actions, hints, 0});
    m_inFlight = true;
    m_withdrawn = false;
    auto *watcher = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        w->deleteLater();
        notified(reply.isValid() ? reply.value() : 0u);
    });
}

void QuestionNotice::notified(uint id)
{
    m_inFlight = false;
    m_id = id;
    if (m_next) {
        const Question next = *std::exchange(m_next, std::nullopt);
        send(next);
    } else if (m_withdrawn) {
        withdraw();
    }
}

void QuestionNotice::withdraw()
{
    m_next.reset();
    if (m_inFlight) {
        // The reply names the notice on screen, a replacement or a new one.
        m_withdrawn = true;
        return;
    }
    const uint id = std::exchange(m_id, 0u);
    if (!id)
        return;
    QDBusConnection bus = SessionBus::connection();
    if (bus.isConnected())
        bus.send(QDBusMessage::createMethodCall(service, path, interface, u"CloseNotification"_s) << id);
}

void QuestionNotice::actionInvoked(uint id, const QString &key)
{
    if (!id || id != m_id)
        return;
    m_id = 0;
    Q_EMIT answered(key);
}

void QuestionNotice::closed(uint id, uint)
{
    // Dismissed without an answer: the banner still asks.
    if (id && id == m_id)
        m_id = 0;
}
