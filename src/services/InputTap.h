#pragma once

#include <QObject>

#include <functional>
#include <memory>

// A system-wide source of input presses. It reports only whether a key or a
// mouse button went down, never which one.
class InputTap : public QObject {
    Q_OBJECT
public:
    enum class Press { keystroke, click };
    using Sink = std::function<void(Press)>;

    // The tap that fits this session (XInput2 on X11, evdev devices on
    // Wayland), or nullptr when none can run.
    static std::unique_ptr<InputTap> create(Sink sink);
    // True when create() would succeed.
    static bool available();

    ~InputTap() override;

    // False once the source broke (X server gone, device unplugged everywhere);
    // a broken tap stays installed and silent until it is replaced.
    virtual bool active() const = 0;

protected:
    explicit InputTap(Sink sink);
    void report(Press press)
    {
        if (m_sink)
            m_sink(press);
    }

private:
    Sink m_sink;
};
