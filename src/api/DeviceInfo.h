#pragma once

#include <QString>

// What this computer tells the server about itself when it registers.
namespace DeviceInfo {

// PRETTY_HOSTNAME from /etc/machine-info, else the host name, else "Linux".
QString name();
// The kernel release as major.minor.patch ("6.1.0").
QString osVersion();

// Parsing helpers, separate so they can be checked with chosen inputs.
QString prettyHostname(const QByteArray &machineInfo);
QString versionTriple(const QString &kernelRelease);

} // namespace DeviceInfo
