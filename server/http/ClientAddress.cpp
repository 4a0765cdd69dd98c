#include "ClientAddress.h"

#include <QStringList>

QString clientAddress(const std::string &peer, const std::string &forwardedFor, const QSet<QString> &trustedProxies)
{
    QString address = QString::fromStdString(peer);
    if (!trustedProxies.contains(address))
        return address;
    const QStringList hops = QString::fromStdString(forwardedFor).split(QLatin1Char(','));
    for (auto it = hops.crbegin(); it != hops.crend(); ++it) {
        const QString hop = it->trimmed();
        if (hop.isEmpty())
            break;
        address = hop;
        if (!trustedProxies.contains(hop))
            break;
    }
    return address;
}
