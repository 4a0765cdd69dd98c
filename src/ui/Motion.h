#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QTimer>

class QDBusVariant;
class WindowCover;

// The one clock every moving part of the interface draws from, so that they
// share frames instead of each asking for its own. A part that starts to move
// calls begin() and computes its state from `now`; the clock then advances
// `now` once more `frameMs` later, and every part moves in that same frame.
// A running clock changes every second: a roll begun on that change is drawn
// in two frames, so a window with the timer running draws about twice a
// second. Parts that move for as long as they exist (the live dot) call
// keep(): they get a frame at least every `restMs` even when nothing else
// moves, and ride along on the others' frames otherwise.
//
// `still` is true while no window of the program can be seen (hidden,
// minimised, or fully covered on X11) and while the desktop asks for reduced
// motion (GNOME's enable-animations, KDE's animation speed factor 0, through
// the settings portal): the parts then show their end state at once, and the
// clock asks for no frames at all.
class Motion : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(int now READ now NOTIFY nowChanged)
    Q_PROPERTY(bool still READ still NOTIFY stillChanged)
    Q_PROPERTY(bool reduced READ reduced NOTIFY stillChanged)
    Q_PROPERTY(int frameMs READ frameInterval CONSTANT)

public:
    explicit Motion(QObject *parent);
    ~Motion() override;

    static Motion *instance();
    static Motion *create(QQmlEngine *, QJSEngine *);

    static constexpr int frameMs = 120;
    static constexpr int restMs = 1100;
    int frameInterval() const { return frameMs; }

    int now() const { return m_now; }
    bool still() const { return m_reduced || !m_seen; }
    bool reduced() const { return m_reduced; }

    // Brings `now` up to date (unless it was set an eighth of a frame ago or
    // less) and asks for frames for `durationMs` more; returns `now`, the
    // moment the part started to move.
    Q_INVOKABLE int begin(int durationMs);
    // While `on`, `owner` gets a frame at least every restMs.
    Q_INVOKABLE void keep(QObject *owner, bool on);
    // Whether a frame is on its way.
    bool asking() const { return m_timer.isActive(); }

    // The desktop's wish, as the portal gives it; public for tests.
    void setReduced(bool reduced);
    // Frames given since the start (for tests and benchmarks).
    int frames() const { return m_frames; }

Q_SIGNALS:
    void nowChanged();
    void stillChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void onSettingChanged(const QString &ns, const QString &key, const QDBusVariant &value);

private:
    void frame();
    void schedule();
    void readPortal(const QString &ns, const QString &key);
    void takeSetting(const QString &ns, const QString &key, const QVariant &value);
    void followWindows();
    bool anyWindowSeen();

    WindowCover *m_cover = nullptr;
    QElapsedTimer m_clock;
    QTimer m_timer;
    int m_now = 0;
    int m_until = 0;       // frames are asked for up to here
    int m_lastFrame = 0;
    int m_frames = 0;
    QList<QPointer<QObject>> m_kept;
    bool m_gnomeStill = false;
    bool m_kdeStill = false;
    bool m_reduced = false;
    bool m_seen = false;
    bool m_followPending = false;
};
