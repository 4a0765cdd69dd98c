#include "Appearance.h"
#include "PortalValue.h"

#include "SessionBus.h"
#include "TrackingLog.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

using namespace Qt::StringLiterals;

namespace {
const auto portalService = u"org.freedesktop.portal.Desktop"_s;
const auto portalPath = u"/org/freedesktop/portal/desktop"_s;
const auto portalInterface = u"org.freedesktop.portal.Settings"_s;
const auto appearanceNamespace = u"org.freedesktop.appearance"_s;
const auto schemeKey = u"color-scheme"_s;

} // namespace

Appearance::Appearance(QObject *parent)
    : QObject(parent)
{
    if (qApp)
        qApp->installEventFilter(this);
    m_dark = paletteIsDark();
    QDBusConnection bus = SessionBus::connection();
    if (bus.isConnected()) {
        // The slot's argument types are looked up by name.
        qRegisterMetaType<QDBusVariant>();
        if (!bus.connect(portalService, portalPath, portalInterface, u"SettingChanged"_s, this,
                         SLOT(onSettingChanged(QString, QString, QDBusVariant))))
            qCWarning(lcTracking) << "Cannot follow appearance changes of the settings portal:" << bus.lastError().message();
        readPortal();
    }
}

Appearance *Appearance::instance()
{
    static Appearance *shared = new Appearance(qApp);
    return shared;
}

Appearance *Appearance::create(QQmlEngine *, QJSEngine *)
{
    Appearance *shared = instance();
    QJSEngine::setObjectOwnership(shared, QJSEngine::CppOwnership);
    return shared;
}

bool Appearance::setOverride(const QString &value)
{
    return instance()->applyOverride(value);
}

bool Appearance::applyOverride(const QString &value)
{
    const QString v = value.trimmed().toLower();
    if (v == "light"_L1)
        m_forced = Forced::Light;
    else if (v == "dark"_L1)
        m_forced = Forced::Dark;
    else if (v.isEmpty() || v == "system"_L1)
        m_forced = Forced::None;
    else {
        qCWarning(lcTracking) << "Unknown appearance" << value << "- expected light or dark";
        return false;
    }
    update();
    return true;
}

QString Appearance::source() const
{
    if (m_forced != Forced::None)
        return u"override"_s;
    if (m_portalScheme == 1 || m_portalScheme == 2)
        return u"portal"_s;
    return u"palette"_s;
}

void Appearance::readPortal()
{
    QDBusConnection bus = SessionBus::connection();
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, u"ReadOne"_s);
    call << appearanceNamespace << schemeKey;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        QDBusPendingReply<QDBusVariant> reply = *w;
        if (!reply.isError()) {
            takePortalValue(reply.argumentAt(0));
            return;
        }
        if (reply.error().type() != QDBusError::UnknownMethod) {
            // No portal on this desktop: the palette decides, which is normal.
            qCInfo(lcTracking) << "Appearance follows the application palette:" << reply.error().message();
            return;
        }
        // Portals before version 2 only know Read.
        QDBusMessage old = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, u"Read"_s);
        old << appearanceNamespace << schemeKey;
        auto *second = new QDBusPendingCallWatcher(SessionBus::connection().asyncCall(old, 2000), this);
        connect(second, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w2) {
            w2->deleteLater();
            QDBusPendingReply<QDBusVariant> r = *w2;
            if (r.isError())
                qCInfo(lcTracking) << "Appearance follows the application palette:" << r.error().message();
            else
                takePortalValue(r.argumentAt(0));
        });
    });
}

void Appearance::takePortalValue(const QVariant &value)
{
    const QVariant v = unwrapPortalValue(value);
    bool ok = false;
    const uint scheme = v.toUInt(&ok);
    if (!ok || scheme > 2) {
        qCWarning(lcTracking) << "Unreadable color-scheme from the settings portal:" << v;
        m_portalScheme = -1;
    } else {
        m_portalScheme = int(scheme);
    }
    update();
}

void Appearance::onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value)
{
    if (ns == appearanceNamespace && key == schemeKey)
        takePortalValue(QVariant::fromValue(value));
}

bool Appearance::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return QObject::eventFilter(watched, event);
}

bool Appearance::paletteIsDark()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

void Appearance::update()
{
    bool dark;
    if (m_forced != Forced::None)
        dark = m_forced == Forced::Dark;
    else if (m_portalScheme == 1 || m_portalScheme == 2)
        dark = m_portalScheme == 1;
    else
        dark = paletteIsDark(); // no portal, or it states no preference
    if (dark == m_dark)
        return;
    m_dark = dark;
    Q_EMIT darkChanged();
}
