#include "MainWindow.h"

#include "TrackingLog.h"
#include "UiSetup.h"
#include "ViewScene.h"

#include <QEvent>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {
QUrl mainUrl()
{
    return QUrl(u"qrc:/qt/qml/Zimbrel/App/Main.qml"_s);
}
} // namespace

MainWindow::MainWindow(QObject *parent)
    : QObject(parent)
    , m_scene(new ViewScene(mainUrl(), this))
{
}

void MainWindow::preload()
{
    // The screens as a signed-in member first sees them; the login view is
    // loaded when it is shown instead.
    ViewScene::preload(mainUrl(), {QUrl(u"RootView.qml"_s), QUrl(u"TimerView.qml"_s)});
}

QStringList MainWindow::pluginModules()
{
    return {u"QtQuick.Templates"_s, u"QtQuick.Layouts"_s};
}

MainWindow::~MainWindow()
{
    if (QQuickWindow *window = m_window)
        window->removeEventFilter(this);
}

bool MainWindow::build()
{
    QString error;
    QQuickWindow *window = m_scene->build(&error);
    if (!window) {
        qCWarning(lcTracking, "the window could not be built: %s", qUtf8Printable(error));
        return false;
    }
    m_window = window;
    window->setIcon(UiSetup::applicationIcon());
    window->installEventFilter(this);
    // For the window benchmark: a line for each frame drawn.
    static const bool reportFrames = qEnvironmentVariableIsSet("ZIMBREL_REPORT_FRAMES");
    if (reportFrames)
        connect(window, &QQuickWindow::frameSwapped, window, [] { std::fputs("zimbrel: frame\n", stderr); });
    connect(window, &QQuickWindow::frameSwapped, this, [this, window] {
        disconnect(window, SIGNAL(frameSwapped()), this, nullptr);
        Q_EMIT drawn(m_building.elapsed());
        if (!m_framed) {
            m_framed = true;
            Q_EMIT firstFrame();
        }
    });
    return true;
}

void MainWindow::show()
{
    m_building.start();
    if (!m_window && !build())
        return;
    m_window->showNormal();
    m_window->raise();
    m_window->requestActivate();
    if (!m_shownOnce) {
        m_shownOnce = true;
        if (!m_launchSize.isEmpty())
            QTimer::singleShot(400, this, &MainWindow::applyLaunchSize);
    }
}

void MainWindow::applyLaunchSize()
{
    // Resizing an X window keeps its top-left corner where it is.
    if (m_window)
        m_window->resize(m_launchSize);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && m_window && watched == m_window.data()) {
        // Let the window close, then drop it, its scene and its engine.
        m_window->removeEventFilter(this);
        m_window = nullptr;
        m_scene->release();
        Q_EMIT closed();
    }
    return QObject::eventFilter(watched, event);
}
