#pragma once

#include <QList>
#include <QMetaProperty>
#include <QVariant>

#include <functional>

class QObject;

// Emits the change signal of each of an object's own properties whose value
// differs from the one last read. For view models whose texts all follow from
// a few sources: on any source change, check() tells QML exactly which texts
// changed, so the bindings on the rest do not run again. Only properties with
// listeners are read; the others are read afresh once someone listens.
class ChangedProperties {
public:
    // `listened` tells whether a signal of the owner has listeners (the
    // owner's isSignalConnected, which only it may call).
    ChangedProperties(QObject *owner, std::function<bool(const QMetaMethod &)> listened);

    void check();

private:
    QObject *m_owner;
    std::function<bool(const QMetaMethod &)> m_listened;
    QList<QMetaProperty> m_properties;
    QList<QVariant> m_values; // invalid: not read since nobody listened
};
