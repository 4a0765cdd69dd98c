#include "MainWindow.h"

#include "TrackingLog.h"
#include "UiSetup.h"

#include <QEvent>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>
#include <malloc.h>

using namespace Qt::StringLiterals;

MainWindow::MainWindow(QQmlEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
}

MainWindow::~MainWindow()
{
    if (QQuickWindow *window = m_window) {
        window->removeEventFilter(this);
        delete window;
    }
}

bool MainWindow::build()
{
    if (!m_component)
        m_component = new QQmlComponent(m_engine, QUrl(u"qrc:/qt/qml/Zimbrel/App/Main.qml"_s),
                                        QQmlComponent::PreferSynchronous, this);
    QObject *created = m_component->create();
    auto *window = qobject_cast<QQuickWindow *>(created);
    if (!window) {
        qCWarning(lcTracking, "the window could not be built: %s", qUtf8Printable(m_component->errorString()));
        delete created;
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
        // Let the window close, then drop it and its scene.
        QQuickWindow *window = m_window;
        m_window = nullptr;
        window->removeEventFilter(this);
        // Once the window and its scene are gone, hand the freed memory back
        // to the system: the program may now sit in the tray for hours.
        connect(window, &QObject::destroyed, this, [this] {
            QTimer::singleShot(0, this, [this] {
                m_engine->collectGarbage();
                m_engine->trimComponentCache();
                malloc_trim(0);
            });
        });
        window->deleteLater();
        Q_EMIT closed();
    }
    return QObject::eventFilter(watched, event);
}
