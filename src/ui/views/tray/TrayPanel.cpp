#include "TrayPanel.h"

#include "TrackingLog.h"
#include "ViewScene.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QScreen>

using namespace Qt::StringLiterals;

TrayPanel::TrayPanel(QObject *parent)
    : QObject(parent)
    , m_scene(new ViewScene(QUrl(u"qrc:/qt/qml/Zimbrel/App/TrayPanelWindow.qml"_s), this))
{
}

TrayPanel::~TrayPanel()
{
    if (QQuickWindow *window = m_window)
        disconnect(window, nullptr, this, nullptr);
}

void TrayPanel::toggle(QPoint near)
{
    if (isOpen())
        close();
    else
        open(near);
}

QPoint TrayPanel::placement(QPoint near, QSize size, const QRect &available)
{
    constexpr int gap = 6;
    int x = near.x() - size.width() / 2;
    // Clear of the bar the icon sits in. Where the desktop does not reserve
    // the bar (a bare window manager) the area reaches the screen's edge; the
    // bar is then taken to end as far past the click as the click is from
    // that edge, since an icon sits in the middle of its bar.
    const int fromTop = near.y() - available.top();
    const int fromBottom = available.bottom() + 1 - near.y();
    int y = near.y() < available.center().y() ? near.y() + std::max(gap, fromTop + gap)
                                              : near.y() - std::max(gap, fromBottom + gap) - size.height();
    x = std::clamp(x, available.left(), std::max(available.left(), available.right() + 1 - size.width()));
    y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - size.height()));
    return {x, y};
}

void TrayPanel::open(QPoint near)
{
    if (m_window) {
        m_window->raise();
        m_window->requestActivate();
        return;
    }
    QString error;
    QQuickWindow *window = m_scene->build(&error);
    if (!window) {
        qCWarning(lcTracking, "tray panel could not be built: %s", qUtf8Printable(error));
        return;
    }
    m_window = window;
    connect(window, SIGNAL(openRequested()), this, SIGNAL(openRequested()));
    connect(window, SIGNAL(quitRequested()), this, SIGNAL(quitRequested()));
    // Closing (Escape, focus lost, a button) ends the panel and its scene.
    connect(window, &QWindow::visibleChanged, this, [this, window](bool visible) {
        if (visible || window != m_window)
            return;
        m_window = nullptr;
        m_scene->release();
        Q_EMIT openChanged();
    });

    QScreen *screen = near.isNull() ? nullptr : QGuiApplication::screenAt(near);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (near.isNull() && screen)
        near = QPoint(screen->availableGeometry().right(), screen->availableGeometry().top());
    const QSize size(int(window->width()), int(window->height()));
    if (screen) {
        window->setScreen(screen);
        window->setPosition(placement(near, size, screen->availableGeometry()));
    }
    window->show();
    window->raise();
    window->requestActivate();
    Q_EMIT openChanged();
}

void TrayPanel::close()
{
    if (m_window)
        m_window->close();
}
