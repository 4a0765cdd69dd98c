#pragma once

#include <QColor>
#include <QObject>
#include <QQmlEngine>

class Appearance;

// The named colours of the interface. Adaptive ones take their dark value
// while the appearance is dark; fixed ones are the same in both. QML reads
// them as properties of the Palette singleton and is told when they flip.
// QtQuick exports a type called Palette too, and with Qt 6.4 the first import
// wins: write `import Zimbrel.Ui` above `import QtQuick` (or import it with a
// qualifier) so that Palette.card means this one.
class Palette : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor shell READ shell NOTIFY changed)
    Q_PROPERTY(QColor shellMuted READ shellMuted NOTIFY changed)
    Q_PROPERTY(QColor canvas READ canvas NOTIFY changed)
    Q_PROPERTY(QColor card READ card NOTIFY changed)
    Q_PROPERTY(QColor line READ line NOTIFY changed)
    Q_PROPERTY(QColor track READ track NOTIFY changed)
    Q_PROPERTY(QColor ink READ ink NOTIFY changed)
    Q_PROPERTY(QColor ink2 READ ink2 NOTIFY changed)
    Q_PROPERTY(QColor muted READ muted NOTIFY changed)
    Q_PROPERTY(QColor brand READ brand NOTIFY changed)
    Q_PROPERTY(QColor brandDeep READ brandDeep NOTIFY changed)
    Q_PROPERTY(QColor brandSoft READ brandSoft NOTIFY changed)
    Q_PROPERTY(QColor lime READ lime NOTIFY changed)
    Q_PROPERTY(QColor limeInk READ limeInk NOTIFY changed)
    Q_PROPERTY(QColor amber READ amber NOTIFY changed)
    Q_PROPERTY(QColor amberSoft READ amberSoft NOTIFY changed)
    Q_PROPERTY(QColor violet READ violet NOTIFY changed)
    Q_PROPERTY(QColor violetSoft READ violetSoft NOTIFY changed)
    Q_PROPERTY(QColor sky READ sky NOTIFY changed)
    Q_PROPERTY(QColor skySoft READ skySoft NOTIFY changed)
    Q_PROPERTY(QColor rose READ rose NOTIFY changed)
    Q_PROPERTY(QColor roseSoft READ roseSoft NOTIFY changed)
    Q_PROPERTY(bool dark READ isDark NOTIFY changed)

public:
    enum class Name { shell, shellMuted, canvas, card, line, track, ink, ink2, muted, brand, brandDeep, brandSoft, lime, limeInk, amber, amberSoft, violet, violetSoft, sky, skySoft, rose, roseSoft };
    Q_ENUM(Name)
    static constexpr int count = 22;

    // Follows `appearance`, or the shared one when it is null. (No default
    // argument: QML must take the shared instance from create().)
    explicit Palette(Appearance *appearance, QObject *parent = nullptr);
    static Palette *instance();
    static Palette *create(QQmlEngine *, QJSEngine *);

    // The colour of `name` in one look, independent of any instance.
    static QColor resolve(Name name, bool dark);
    static bool isAdaptive(Name name);
    // The colour's name as QML spells it ("brandSoft").
    static QString nameOf(Name name);

    QColor color(Name name) const { return resolve(name, isDark()); }
    // By QML name; an unknown name gives an invalid colour and a warning.
    Q_INVOKABLE QColor byName(const QString &name) const;
    bool isDark() const;

    QColor shell() const { return color(Name::shell); }
    QColor shellMuted() const { return color(Name::shellMuted); }
    QColor canvas() const { return color(Name::canvas); }
    QColor card() const { return color(Name::card); }
    QColor line() const { return color(Name::line); }
    QColor track() const { return color(Name::track); }
    QColor ink() const { return color(Name::ink); }
    QColor ink2() const { return color(Name::ink2); }
    QColor muted() const { return color(Name::muted); }
    QColor brand() const { return color(Name::brand); }
    QColor brandDeep() const { return color(Name::brandDeep); }
    QColor brandSoft() const { return color(Name::brandSoft); }
    QColor lime() const { return color(Name::lime); }
    QColor limeInk() const { return color(Name::limeInk); }
    QColor amber() const { return color(Name::amber); }
    QColor amberSoft() const { return color(Name::amberSoft); }
    QColor violet() const { return color(Name::violet); }
    QColor violetSoft() const { return color(Name::violetSoft); }
    QColor sky() const { return color(Name::sky); }
    QColor skySoft() const { return color(Name::skySoft); }
    QColor rose() const { return color(Name::rose); }
    QColor roseSoft() const { return color(Name::roseSoft); }

Q_SIGNALS:
    void changed();

private:
    Appearance *m_appearance;
};
