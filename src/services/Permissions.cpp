#include "Permissions.h"

#include "InputTap.h"
#include "PortalScreenshot.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString helpPage = u"zimbrel/help/permissions.html"_s;

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
    const QString platform = QGuiApplication::platformName();
    if (platform == "xcb"_L1)
        return true;
    if (platform.startsWith("wayland"_L1))
        return PortalScreenshot::available();
    return false;
}

bool requestScreen()
{
    return preflightScreen();
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
