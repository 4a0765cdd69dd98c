#pragma once

#include "FocusedWindow.h"

#include <QObject>

#include <optional>

// One desktop's channel for the focused window. It reports changes as they
// happen; the program never asks the desktop on its own schedule.
class FocusSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether the desktop answers through this channel at all.
    bool live() const { return m_live; }
    // The focused window; nullopt when nothing has focus.
    const std::optional<FocusedWindow> &window() const { return m_window; }

Q_SIGNALS:
    void changed();

protected:
    void setWindow(std::optional<FocusedWindow> window)
    {
        // A report with nothing in it is "nothing has focus".
        if (window && window->wmClass.isEmpty() && window->appId.isEmpty() && window->pid <= 0)
            window.reset();
        const bool wasLive = m_live;
        m_live = true;
        if (wasLive && window == m_window)
            return;
        m_window = std::move(window);
        Q_EMIT changed();
    }
    void setGone()
    {
        if (!m_live && !m_window)
            return;
        m_live = false;
        m_window.reset();
        Q_EMIT changed();
    }

private:
    bool m_live = false;
    std::optional<FocusedWindow> m_window;
};
