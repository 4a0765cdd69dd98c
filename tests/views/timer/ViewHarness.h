#pragma once

#include <QImage>
#include <QQuickView>
#include <QStringList>

#include <memory>

class AppModel;
class QQuickItem;

// One screen of the app in a window on the test display, reading `model`
// through the real module setup, with every warning of the process recorded
// so a test can fail on any.
class ViewHarness {
public:
    // `screen` is "timer" or "today".
    ViewHarness(AppModel *model, const QString &screen);
    ~ViewHarness();

    QQuickView &view() { return *m_view; }
    QQuickItem *root() const;
    QQuickItem *item(const QString &objectName) const;
    // Reads a QML property, also attached ones such as "Accessible.name".
    static QVariant property(QQuickItem *item, const QString &name);

    // Sizes the window and lets layouts and bindings settle.
    void resize(int width, int height);
    // Switches the look, renders and saves the window under the build folder
    // (tests/views/<file>.png); returns the picture.
    QImage shoot(const QString &look, const QString &file);

    // Visible items under `container` that reach outside it sideways, named
    // for the failure message.
    static QStringList overflows(QQuickItem *container);

    // Every warning since the harness was made (or since clearWarnings).
    static QStringList warnings();
    static void clearWarnings();

private:
    std::unique_ptr<QQuickView> m_view;
};
