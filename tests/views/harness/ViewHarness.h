#pragma once

#include "AppModel.h"

#include <QImage>
#include <QQuickItem>
#include <QQuickView>
#include <QSize>
#include <QStringList>
#include <QVariant>

#include <memory>

class QQuickWindow;

// One screen of Zimbrel.App in a window of its own on the test display,
// reading `model` through the real module setup, for tests: finds items by
// objectName, clicks them, resizes, switches the look, takes screenshots, and
// records every QML warning of the process so a test can fail on any. The static
// parts serve tests that show the program's own windows instead.
class ViewHarness {
public:
    // `file` is a QML file of the module, such as "LoginView.qml", or the
    // absolute path of a test's own QML file.
    ViewHarness(AppModel *model, const QString &file, QSize size = {940, 640});
    ~ViewHarness();
    ViewHarness(const ViewHarness &) = delete;
    ViewHarness &operator=(const ViewHarness &) = delete;

    QQuickView *view() const { return m_view.get(); }
    QQuickItem *root() const { return m_view->rootObject(); }
    // The item named `name` anywhere in the screen; null and a warning when
    // there is none.
    QQuickItem *item(const QString &name) const;

    // Sizes the window and lets layouts and bindings settle.
    void resize(QSize size);
    // "light" or "dark", with the canvas colour behind the screen.
    void setLook(const QString &look);
    void click(QQuickItem *item);
    // Waits `settleMs` for animations to end, then saves the window as
    // <build>/tests/views/<folder>/<name>.png (no folder: tests/views/) and
    // returns the picture.
    QImage screenshot(const QString &folder, const QString &name, int settleMs = 250);
    static QImage screenshot(QQuickWindow *window, const QString &folder, const QString &name, int settleMs = 250);

    // The first item named `name` at or below `under`. Items made by a
    // Repeater or a Loader are not QObject children: this walks the items.
    static QQuickItem *find(QQuickItem *under, const QString &name);
    static QQuickItem *find(QQuickWindow *window, const QString &name);
    // Whether the item is visible with an area.
    static bool shown(QQuickItem *item);
    // Reads a QML property, also attached ones such as "Accessible.name".
    static QVariant property(QQuickItem *item, const QString &name);
    // Visible items under `container` that reach outside it sideways, named
    // for the failure message.
    static QStringList overflows(QQuickItem *container);

    // Starts recording warnings (a harness does so itself); every message
    // still reaches the handler that was there before.
    static void watchWarnings();
    // QML warnings and errors seen since recording began or since clearWarnings.
    static QStringList warnings();
    static void clearWarnings();

    // A model's platform on a fixed clock that never ticks by itself, with no
    // server, no input or screen access, and notices collected in `notices`.
    struct Clock {
        Instant now = Instant::fromDateTime(QDateTime(QDate(2026, 3, 4), QTime(10, 0)));
    };
    static AppModel::Platform offlinePlatform(Clock *clock, QList<QString> *notices = nullptr);

private:
    std::unique_ptr<QQuickView> m_view;
};
