#include "ChangedProperties.h"

#include <QObject>

ChangedProperties::ChangedProperties(QObject *owner, std::function<bool(const QMetaMethod &)> listened)
    : m_owner(owner)
    , m_listened(std::move(listened))
{
    const QMetaObject *meta = owner->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.hasNotifySignal() && !property.isConstant())
            m_properties.append(property);
    }
    m_values.resize(m_properties.size());
}

void ChangedProperties::check()
{
    for (qsizetype i = 0; i < m_properties.size(); ++i) {
        const QMetaProperty &property = m_properties.at(i);
        const QMetaMethod signal = property.notifySignal();
        if (!m_listened(signal)) {
            // Whoever connects later reads the value then.
            m_values[i] = QVariant();
            continue;
        }
        // Not read before: the listener may have read it before the change.
        QVariant value = property.read(m_owner);
        if (m_values.at(i).isValid() && value == m_values.at(i))
            continue;
        m_values[i] = std::move(value);
        signal.invoke(m_owner, Qt::DirectConnection);
    }
}
