#pragma once

#include <QImage>
#include <QQuickItem>
#include <QQuickView>
#include <QSize>
#include <QStringList>

#include <memory>

class AppModel;

// One screen of Zimbrel.App in a window of its own, reading `model`, for
// tests: finds items by objectName, clicks them, takes screenshots, and
// collects every QML warning so a test can fail on it.
class ViewHarness {
public:
    // `file` is the QML file of the module, such as "LoginView.qml".
    ViewHarness(AppModel *model, const QString &file, QSize size);
    ~ViewHarness();
    ViewHarness(const ViewHarness &) = delete;
    ViewHarness &operator=(const ViewHarness &) = delete;

    QQuickView *view() const { return m_view.get(); }
    QQuickItem *root() const { return m_view->rootObject(); }
    // The item named `name` (the whole tree, Repeater items too); null and a
    // test failure message when there is none.
    QQuickItem *item(const QString &name) const;
    // The first item named `name` below `under`.
    static QQuickItem *find(QQuickItem *under, const QString &name);

    void resize(QSize size);
    // "light" or "dark", with the canvas colour behind the screen.
    void setLook(const QString &look);
    void click(QQuickItem *item);
    // Saves the window as build/tests/views/<folder>/<name>.png and returns it.
    QImage screenshot(const QString &folder, const QString &name);

    // QML warnings and errors seen since the harness was made.
    static QStringList warnings();

private:
    std::unique_ptr<QQuickView> m_view;
};
