#include "SettingsViewModel.h"

#include "AppModel.h"
#include "FocusExtension.h"
#include "FireAndForget.h"
#include "LoginViewModel.h"
#include "Permissions.h"
#include "TrackingLog.h"
#include "Tray.h"
#include "ViewsSetup.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

SettingsViewModel::PermissionActions SettingsViewModel::PermissionActions::system()
{
    PermissionActions actions;
    actions.request = [](const QString &anchor) {
        return anchor == QLatin1StringView(Permissions::listenEvent) ? Permissions::requestInput()
                                                                     : Permissions::requestScreen();
    };
    actions.open = [](const QString &anchor) { return Permissions::open(anchor); };
    actions.allowScreen = [] { return Permissions::allowScreen(); };
    return actions;
}

SettingsViewModel::SettingsViewModel(QObject *parent)
    : SettingsViewModel(ViewsSetup::model(), PermissionActions::system(), parent)
{
}

SettingsViewModel::SettingsViewModel(AppModel *model, PermissionActions permissions, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_permissions(std::move(permissions))
{
    if (FocusExtension::needed()) {
        m_focusExtension = new FocusExtension(this);
        connect(m_focusExtension, &FocusExtension::activeChanged, this, &SettingsViewModel::focusExtensionChanged);
    }
    if (Tray *tray = ViewsSetup::tray())
        connect(tray, &Tray::kindChanged, this, &SettingsViewModel::trayChanged);
    if (!model)
        return;
    connect(model, &AppModel::userChanged, this, &SettingsViewModel::accountChanged);
    connect(model, &AppModel::launchAtLoginChanged, this, &SettingsViewModel::launchChanged);
    connect(model, &AppModel::dayGoalHoursChanged, this, &SettingsViewModel::goalChanged);
}

// Words are delimited by spaces, tabs and line breaks, which are kept as they
// are; a hyphenated word counts as one ("Team-member").
QString SettingsViewModel::capitalisedWords(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool wordStart = true;
    const auto codePoints = text.toUcs4();
    for (char32_t c : codePoints) {
        const QString one = QString::fromUcs4(&c, 1);
        if (QChar::isSpace(c)) {
            wordStart = true;
            out += one;
        } else {
            out += wordStart ? one.toUpper() : one.toLower();
            wordStart = false;
        }
    }
    return out;
}

QString SettingsViewModel::accountLine(const QString &email, const QString &role)
{
    QStringList parts;
    if (!email.isEmpty())
        parts << email;
    const QString shownRole = capitalisedWords(role.trimmed());
    if (!shownRole.isEmpty())
        parts << shownRole;
    return parts.join(u" · "_s);
}

QString SettingsViewModel::launchDetail(const QString &launchError)
{
    return launchError.isEmpty() ? u"Zimbrel starts in the system tray, ready to track."_s : launchError;
}

QString SettingsViewModel::goalLabel(double hours)
{
    const double whole = std::isfinite(hours) ? std::trunc(hours) : 0;
    return QString::number(qint64(std::clamp(whole, -1e9, 1e9))) + u"h"_s;
}

QString SettingsViewModel::aboutLine(const QString &version)
{
    const QString shown = version.trimmed().isEmpty() ? u"1.0"_s : version.trimmed();
    return u"Zimbrel for Linux "_s + shown + u" preview"_s;
}

double SettingsViewModel::steppedGoal(double hours, int direction)
{
    if (!std::isfinite(hours))
        hours = minGoalHours;
    const double next = hours + (direction > 0 ? 1 : direction < 0 ? -1 : 0);
    return std::clamp(next, minGoalHours, maxGoalHours);
}

QString SettingsViewModel::accountLine() const
{
    return m_model ? accountLine(m_model->userEmail(), m_model->userRole()) : QString();
}

QString SettingsViewModel::launchDetail() const
{
    return launchDetail(m_model ? m_model->launchError().value_or(QString()) : QString());
}

bool SettingsViewModel::launchFailed() const
{
    return m_model && m_model->launchError().has_value();
}

QString SettingsViewModel::goalLabel() const
{
    return goalLabel(m_model ? m_model->dayGoalHours() : 0);
}

bool SettingsViewModel::canIncreaseGoal() const
{
    return m_model && m_model->dayGoalHours() < maxGoalHours;
}

bool SettingsViewModel::canDecreaseGoal() const
{
    return m_model && m_model->dayGoalHours() > minGoalHours;
}

QString SettingsViewModel::version()
{
    const QString running = QCoreApplication::applicationVersion();
    if (!running.isEmpty())
        return running;
#ifdef ZIMBREL_VERSION
    return QStringLiteral(ZIMBREL_VERSION);
#else
    return QString();
#endif
}

QString SettingsViewModel::website()
{
    return LoginViewModel::website();
}

QString SettingsViewModel::iconCredit()
{
    return u"Icons: Phosphor (MIT)"_s;
}

void SettingsViewModel::stepGoal(int direction)
{
    if (m_model)
        m_model->setDayGoalHours(steppedGoal(m_model->dayGoalHours(), direction));
}

bool SettingsViewModel::allow(const QString &anchor)
{
    if (anchor != QLatin1StringView(Permissions::listenEvent) && anchor != QLatin1StringView(Permissions::screenCapture))
        return false;
    if (anchor == QLatin1StringView(Permissions::screenCapture) && m_permissions.allowScreen) {
        fireAndForget(askForScreen(), "screen access");
        return true;
    }
    if (!m_permissions.request(anchor) && !m_permissions.open(anchor))
        qCInfo(lcTracking, "no help page could be opened for %s", qPrintable(anchor));
    return true;
}

bool SettingsViewModel::focusExtensionShown() const
{
    return m_focusExtension != nullptr;
}

bool SettingsViewModel::focusExtensionActive() const
{
    return m_focusExtension && m_focusExtension->active();
}

void SettingsViewModel::enableFocusExtension()
{
    if (!m_focusExtension)
        return;
    m_focusExtension->enable([open = m_permissions.open](bool enabled) {
        if (!enabled && !open(QString::fromLatin1(Permissions::frontmostApp)))
            qCInfo(lcTracking, "no help page could be opened for %s", Permissions::frontmostApp);
    });
}

QCoro::Task<void> SettingsViewModel::askForScreen()
{
    QPointer<SettingsViewModel> self(this);
    co_await m_permissions.allowScreen();
    if (self && m_model)
        m_model->checkPermissions();
}

QString SettingsViewModel::trayDetail(bool iconOnly)
{
    if (iconOnly)
        return u"The Zimbrel z in the system tray gains its dot while you track. This tray shows icons only, so "
               u"today's time is in the icon's tooltip. Click it to start, stop or switch back here."_s;
    return u"The Zimbrel z in the system tray gains its dot and shows today's time while you track. Click it to "
           u"start, stop or switch back here."_s;
}

QString SettingsViewModel::trayDetail() const
{
    const Tray *tray = ViewsSetup::tray();
    return trayDetail(tray && tray->kind() == Tray::Kind::SystemTray);
}
