#pragma once

#include <QObject>

#include <functional>

// Our GNOME Shell extension as Settings shows it: whether this is a GNOME
// Wayland session that needs it, whether it is active (its bus name has an
// owner, followed as it changes), and the one way to switch it on.
class FocusExtension : public QObject {
    Q_OBJECT
public:
    explicit FocusExtension(QObject *parent = nullptr);

    // GNOME on Wayland: the only desktop where the member has a step to take.
    static bool needed();
    bool active() const { return m_active; }

    // Asks GNOME Shell (org.gnome.Shell.Extensions) to enable it; `done`
    // learns whether the shell did. The shell refuses an extension installed
    // after it started, or when extensions are switched off.
    void enable(std::function<void(bool)> done);

Q_SIGNALS:
    void activeChanged();

private:
    void setActive(bool active);

    bool m_active = false;
};
