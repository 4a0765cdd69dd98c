#pragma once

#include <QObject>

#include <memory>

class InputTap;

// Keystrokes and clicks counted since the last drain.
struct InputCounts {
    int keystrokes = 0;
    int clicks = 0;
    bool operator==(const InputCounts &) const = default;
};

// Counts the user's key presses and mouse-button presses while a timer runs,
// never what was typed or where. Two strategies: the system-wide input tap
// (XInput2 raw events on X11, evdev devices on Wayland), else an
// application-wide event filter that only sees this program's own windows.
// Main thread only.
class ActivityMonitor : public QObject {
    Q_OBJECT
public:
    enum class Strategy { stopped, tapping, fallback };

    explicit ActivityMonitor(QObject *parent = nullptr);
    ~ActivityMonitor() override;

    // Installs a strategy unless one is installed; safe to call every second.
    void start();
    // Removes whatever is installed and zeroes both counters; totalInputs stays.
    void stop();
    // Returns both counters and zeroes them.
    InputCounts drain();

    int keystrokes() const { return m_keystrokes; }
    int clicks() const { return m_clicks; }
    // Weighted running total since creation: 1 per keystroke, 2 per click.
    qint64 totalInputs() const { return m_totalInputs; }
    // Whether the system-wide tap is the installed strategy.
    bool tap() const;
    Strategy strategy() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The only ways the counters grow; they carry the weights into totalInputs.
    void addKeystroke();
    void addClick();

    int m_keystrokes = 0;
    int m_clicks = 0;
    qint64 m_totalInputs = 0;
    std::unique_ptr<InputTap> m_tap;
    bool m_filterInstalled = false;
};
