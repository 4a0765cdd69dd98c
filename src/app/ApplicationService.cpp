#include "ApplicationService.h"

#include "TrackingLog.h"

void ApplicationService::Activate(const QVariantMap &platformData)
{
    Q_EMIT activateRequested(platformData);
}

void ApplicationService::Open(const QStringList &, const QVariantMap &platformData)
{
    // The program opens no files; opening means showing the window.
    Q_EMIT activateRequested(platformData);
}

void ApplicationService::ActivateAction(const QString &actionName, const QVariantList &, const QVariantMap &)
{
    qCInfo(lcTracking, "ignoring the unknown application action \"%s\"", qUtf8Printable(actionName));
}
