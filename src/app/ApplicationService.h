#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

// org.freedesktop.Application for the running program: another launch (or a
// desktop that activates over D-Bus) asks it to show its window.
class ApplicationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    static constexpr auto serviceName = "com.corvane.native.Zimbrel";
    static constexpr auto objectPath = "/com/corvane/native/Zimbrel";
    static constexpr auto interfaceName = "org.freedesktop.Application";

    using QObject::QObject;

public Q_SLOTS:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData);
    void ActivateAction(const QString &actionName, const QVariantList &parameter, const QVariantMap &platformData);

Q_SIGNALS:
    // Not exported: show and raise the window. `platformData` may carry a
    // "desktop-startup-id" or an "activation-token".
    void activateRequested(const QVariantMap &platformData);
};
