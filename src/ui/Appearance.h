#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QQmlEngine>

// Whether the interface is drawn light or dark. Follows the desktop's
// "color-scheme" through the settings portal when one answers, otherwise the
// lightness of the application palette's window colour; a forced value (the
// program's --appearance option) wins over both.
class Appearance : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool dark READ isDark NOTIFY darkChanged)
    Q_PROPERTY(QString source READ source NOTIFY darkChanged)

public:
    // Starts following the desktop: reads the portal without blocking and
    // uses the palette until it answers. (No default argument: QML must take
    // the shared instance from create(), not construct its own.)
    explicit Appearance(QObject *parent);

    // The one instance the interface reads, made on first use. Make it after
    // the QGuiApplication: it watches the application's palette.
    static Appearance *instance();
    static Appearance *create(QQmlEngine *, QJSEngine *);

    // Forces "light" or "dark" on the shared instance; "" or "system" follows
    // the desktop again. Anything else is refused with a warning and changes
    // nothing. Returns whether the value was understood.
    static bool setOverride(const QString &value);
    bool applyOverride(const QString &value);

    bool isDark() const { return m_dark; }
    // "override", "portal" or "palette": what decided the current look.
    QString source() const;

Q_SIGNALS:
    void darkChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value);

private:
    enum class Forced { None, Light, Dark };
    void readPortal();
    void takePortalValue(const QVariant &value);
    void update();
    static bool paletteIsDark();

    Forced m_forced = Forced::None;
    int m_portalScheme = -1; // -1: no answer; 0 no preference, 1 dark, 2 light
    bool m_dark = false;
};
