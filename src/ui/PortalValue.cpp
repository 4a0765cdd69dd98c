#include "PortalValue.h"

#include <QDBusArgument>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

QVariant unwrapPortalValue(QVariant value)
{
    for (int depth = 0; depth < 4; ++depth) {
        if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
            value = qvariant_cast<QDBusVariant>(value).variant();
        } else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
            const auto arg = qvariant_cast<QDBusArgument>(value);
            if (arg.currentSignature() != "v"_L1)
                break;
            QDBusVariant inner;
            arg >> inner;
            value = inner.variant();
        } else {
            break;
        }
    }
    return value;
}
