#pragma once

#include <QColor>
#include <QObject>
#include <QQmlEngine>
#include <QStringList>
#include <QUrl>

// The interface's icons: every name exists as "line.<name>"; the solid-capable
// ones also as "solid.<name>". Files live at :/zimbrel/icons/<resource>.svg
// and are drawn tinted by the "icon" image provider.
class IconSet : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    static constexpr auto folder = ":/zimbrel/icons/";

    using QObject::QObject;
    static IconSet *create(QQmlEngine *, QJSEngine *) { return new IconSet; }

    // "solid.<name>" for a solid-capable name asked solid, else "line.<name>".
    Q_INVOKABLE static QString resourceName(const QString &name, bool solid);
    static bool isSolidCapable(const QString &name);
    static const QStringList &solidCapable();
    // Every icon name the screens use.
    static const QStringList &interfaceNames();
    // Path of the SVG behind a resource name, whether or not it exists.
    static QString filePath(const QString &resource);

    // The image source drawing `name` in `color` at `size` points, or an empty
    // URL (and a warning) for an unknown name or a size that is not positive.
    Q_INVOKABLE static QUrl source(const QString &name, bool solid, const QColor &color, qreal size);
};
