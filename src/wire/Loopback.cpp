#include "Loopback.h"

#include <QHostAddress>

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    if (!address.setAddress(host))
        return false;
    return address.isLoopback();
}
