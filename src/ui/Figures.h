#pragma once

#include <QFont>
#include <QObject>
#include <QQmlEngine>
#include <QString>

// Cell widths for text whose characters each sit in a cell of their own, as
// a clock's do (ClockText, RollingClock): Inter's digits are proportional and
// its tabular figures cannot be switched on here, so every digit gets a cell
// as wide as the widest digit.
class Figures : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    static Figures *create(QQmlEngine *, QJSEngine *) { return new Figures; }

    // The widest digit's advance in `font`, rounded up to whole pixels.
    Q_INVOKABLE static qreal digitCell(const QFont &font);
    // The advance of `character` (its first character) in `font`, rounded up.
    Q_INVOKABLE static qreal characterCell(const QFont &font, const QString &character);
};
