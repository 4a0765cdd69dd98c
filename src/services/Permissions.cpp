#include "Permissions.h"

#include "InputTap.h"
#include "PortalScreenshot.h"
#include "TrackingLog.h"
#include "XConnection.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString helpPage = u"zimbrel/help/permissions.html"_s;

// GNOME keeps the member's screenshot answer in the permission store.
bool gnomeDesktop()
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return desktops.contains(u"GNOME"_s, Qt::CaseInsensitive);
}

bool askingForScreen = false;

QString foundHelpPage()
{
    // The XDG data folders first (a user or distribution override), then
    // next to the program, then where this build installs it.
    QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation, helpPage);
    if (!found.isEmpty())
        return found;
    if (QCoreApplication::instance()) {
        const QString beside = QCoreApplication::applicationDirPath() + u"/../share/"_s + helpPage;
        if (QFileInfo::exists(beside))
            return QDir::cleanPath(beside);
    }
    const QString installed = Permissions::installedHelpPage();
    return QFileInfo::exists(installed) ? installed : QString();
}

} // namespace

namespace Permissions {

bool preflightInput()
{
    return InputTap::available();
}

bool requestInput()
{
    return preflightInput();
}

bool preflightScreen()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    if (!XConnection::x11Session()) {
        if (gnomeDesktop())
            return PortalScreenshot::storedPermission() == PortalScreenshot::Stored::yes;
        return PortalScreenshot::available();
    }
    return QGuiApplication::platformName() == "xcb"_L1;
}

bool requestScreen()
{
    return preflightScreen();
}

QCoro::Task<bool> requestScreenAccess()
{
    if (XConnection::x11Session() || askingForScreen || preflightScreen())
        co_return preflightScreen();
    askingForScreen = true;
    // The member may read the desktop's question for a while.
    const PortalScreenshot::Result result = co_await PortalScreenshot::take(std::chrono::minutes(2));
    askingForScreen = false;
    if (!result.error.isEmpty())
        qCWarning(lcTracking, "screenshot failed: %s", qUtf8Printable(result.error));
    co_return preflightScreen();
}

QCoro::Task<bool> allowScreen()
{
    if (askingForScreen)
        co_return false;
    const bool allowed = co_await requestScreenAccess();
    if (!allowed && !open(QString::fromLatin1(screenCapture)))
        qCWarning(lcTracking, "could not open the help page on screen recording");
    co_return allowed;
}

QString installedHelpPage()
{
    return QStringLiteral(ZIMBREL_INSTALL_DATADIR "/") + helpPage;
}

QUrl helpUrl(const QString &anchor)
{
    if (anchor != QLatin1StringView(listenEvent) && anchor != QLatin1StringView(screenCapture)
        && anchor != QLatin1StringView(frontmostApp))
        return {};
    const QString page = foundHelpPage();
    if (page.isEmpty())
        return {};
    QUrl url = QUrl::fromLocalFile(page);
    url.setFragment(anchor);
    return url;
}

bool open(const QString &anchor)
{
    const QUrl url = helpUrl(anchor);
    if (!url.isValid() || url.isEmpty())
        return false;
    return QDesktopServices::openUrl(url);
}

} // namespace Permissions
