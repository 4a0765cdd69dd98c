#pragma once

#include <QSet>
#include <QString>

#include <string>

// The address a request came from: the peer's, or for a peer among
// `trustedProxies` the nearest address in its X-Forwarded-For that is not
// itself a trusted proxy. Anyone else could write any address there.
QString clientAddress(const std::string &peer, const std::string &forwardedFor, const QSet<QString> &trustedProxies);
