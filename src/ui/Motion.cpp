#include "Motion.h"
#include "PortalValue.h"

#include "SessionBus.h"
#include "TrackingLog.h"
#include "WindowCover.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
const auto portalService = u"org.freedesktop.portal.Desktop"_s;
const auto portalPath = u"/org/freedesktop/portal/desktop"_s;
const auto portalInterface = u"org.freedesktop.portal.Settings"_s;
const auto gnomeNamespace = u"org.gnome.desktop.interface"_s;
const auto gnomeKey = u"enable-animations"_s;
const auto kdeNamespace = u"org.kde.kdeglobals.KDE"_s;
const auto kdeKey = u"AnimationDurationFactor"_s;

} // namespace

Motion::Motion(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Motion::frame);
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        m_cover = new WindowCover(this);
        connect(m_cover, &WindowCover::changed, this, &Motion::followWindows);
        qApp->installEventFilter(this);
        m_seen = anyWindowSeen();
    }
    // The portal is asked without blocking, after the first frame is on its
    // way: until it answers the parts move.
    QTimer::singleShot(0, this, [this] {
        QDBusConnection bus = SessionBus::connection();
        if (!bus.isConnected())
            return;
        qRegisterMetaType<QDBusVariant>();
        bus.connect(portalService, portalPath, portalInterface, u"SettingChanged"_s, this,
                    SLOT(onSettingChanged(QString, QString, QDBusVariant)));
        readPortal(gnomeNamespace, gnomeKey);
        readPortal(kdeNamespace, kdeKey);
    });
}

Motion::~Motion() = default;

Motion *Motion::instance()
{
    static Motion *shared = new Motion(qApp);
    return shared;
}

Motion *Motion::create(QQmlEngine *, QJSEngine *)
{
    Motion *shared = instance();
    QJSEngine::setObjectOwnership(shared, QJSEngine::CppOwnership);
    return shared;
}

int Motion::begin(int durationMs)
{
    // Parts that start within an eighth of a frame of the last `now` (the
    // changes of one tick, handled over a few milliseconds) start together:
    // every fresh `now` runs all the moving parts' followers again.
    const int at = int(m_clock.elapsed());
    if (at - m_now >= frameMs / 8) {
        m_now = at;
        Q_EMIT nowChanged();
    }
    if (!still() && durationMs > 0) {
        m_until = std::max(m_until, m_now + durationMs);
        schedule();
    }
    return m_now;
}

void Motion::keep(QObject *owner, bool on)
{
    m_kept.removeAll(nullptr);
    const bool had = m_kept.contains(owner);
    if (on && !had && owner)
        m_kept.append(owner);
    else if (!on && had)
        m_kept.removeAll(owner);
    schedule();
}

void Motion::schedule()
{
    m_kept.removeAll(nullptr);
    if (still()) {
        m_timer.stop();
        return;
    }
    const int at = int(m_clock.elapsed());
    int next = -1;
    if (m_until > m_lastFrame)
        next = std::max(m_lastFrame, m_now) + frameMs;
    if (!m_kept.isEmpty()) {
        const int rest = std::max(m_lastFrame, m_now) + restMs;
        next = next < 0 ? rest : std::min(next, rest);
    }
    if (next < 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(std::max(0, next - at));
}

void Motion::frame()
{
    m_now = int(m_clock.elapsed());
    m_lastFrame = m_now;
    ++m_frames;
    // A timer a little late or early ends the motion all the same.
    if (m_now + frameMs / 4 >= m_until)
        m_until = m_now;
    Q_EMIT nowChanged();
    schedule();
}

void Motion::setReduced(bool reduced)
{
    if (reduced == m_reduced)
        return;
    m_reduced = reduced;
    Q_EMIT stillChanged();
    begin(0);
    schedule();
}

bool Motion::anyWindowSeen()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.cbegin(), windows.cend(), [this](QWindow *w) {
        if (!w->isExposed() || w->visibility() == QWindow::Minimized || w->visibility() == QWindow::Hidden)
            return false;
        if (!m_cover)
            return true;
        m_cover->watch(w);
        return !m_cover->covered(w);
    });
}

void Motion::followWindows()
{
    m_followPending = false;
    const bool seen = anyWindowSeen();
    if (seen == m_seen)
        return;
    m_seen = seen;
    Q_EMIT stillChanged();
    begin(0);
    schedule();
}

bool Motion::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Expose:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        // Looked at once the window has taken the change in.
        if (watched->isWindowType() && !m_followPending) {
            m_followPending = true;
            QMetaObject::invokeMethod(this, &Motion::followWindows, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void Motion::readPortal(const QString &ns, const QString &key)
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, u"ReadOne"_s);
    call << ns << key;
    auto *watcher = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, ns, key](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<QDBusVariant> reply = *w;
        if (!reply.isError()) {
            takeSetting(ns, key, reply.argumentAt(0));
            return;
        }
        if (reply.error().type() != QDBusError::UnknownMethod)
            return; // no portal, or not this desktop's setting: the parts move
        QDBusMessage old = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, u"Read"_s);
        old << ns << key;
        auto *second = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(old, 2000), this);
        connect(second, &QDBusPendingCallWatcher::finished, this, [this, ns, key](QDBusPendingCallWatcher *w2) {
            w2->deleteLater();
            QDBusPendingReply<QDBusVariant> r = *w2;
            if (!r.isError())
                takeSetting(ns, key, r.argumentAt(0));
        });
    });
}

void Motion::takeSetting(const QString &ns, const QString &key, const QVariant &value)
{
    const QVariant v = unwrapPortalValue(value);
    if (ns == gnomeNamespace && key == gnomeKey) {
        if (v.metaType() != QMetaType::fromType<bool>()) {
            qCWarning(lcTracking) << "Unreadable enable-animations from the settings portal:" << v;
            return;
        }
        m_gnomeStill = !v.toBool();
    } else if (ns == kdeNamespace && key == kdeKey) {
        bool ok = false;
        const double factor = v.toDouble(&ok);
        if (!ok) {
            qCWarning(lcTracking) << "Unreadable animation speed from the settings portal:" << v;
            return;
        }
        m_kdeStill = factor <= 0;
    } else {
        return;
    }
    setReduced(m_gnomeStill || m_kdeStill);
}

void Motion::onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value)
{
    takeSetting(ns, key, QVariant::fromValue(value));
}
