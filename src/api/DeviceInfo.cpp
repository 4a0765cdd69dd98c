#include "DeviceInfo.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

namespace DeviceInfo {

QString prettyHostname(const QByteArray &machineInfo)
{
    // machine-info is a list of shell-style assignments; the value may be quoted.
    const QList<QByteArray> lines = machineInfo.split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith("PRETTY_HOSTNAME="))
            continue;
        QString value = QString::fromUtf8(line.mid(int(qstrlen("PRETTY_HOSTNAME="))));
        if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        value.replace(QLatin1String("\\\""), QLatin1String("\""));
        return value.trimmed();
    }
    return {};
}

QString versionTriple(const QString &kernelRelease)
{
    static const QRegularExpression leading(QStringLiteral("\\A(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = leading.match(kernelRelease);
    if (!m.hasMatch())
        return QStringLiteral("0.0.0");
    const auto part = [&](int i) {
        const QString s = m.captured(i);
        return s.isEmpty() ? QStringLiteral("0") : QString::number(s.toULongLong());
    };
    return part(1) + QLatin1Char('.') + part(2) + QLatin1Char('.') + part(3);
}

QString name()
{
    QFile file(QStringLiteral("/etc/machine-info"));
    if (file.open(QIODevice::ReadOnly)) {
        const QString pretty = prettyHostname(file.read(64 * 1024));
        if (!pretty.isEmpty())
            return pretty;
    }
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("Linux") : host;
}

QString osVersion()
{
    return versionTriple(QSysInfo::kernelVersion());
}

} // namespace DeviceInfo
