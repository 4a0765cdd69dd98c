#pragma once

#include "ModelFixture.h"
#include "ViewHarness.h"

#include <QObject>
#include <QTest>

// The frame of a test of one screen: each test function gets a fresh home, a
// loopback server and a signed-out model; show() puts the screen in a window,
// and a test fails when any warning came up while it ran.
class ScreenTest : public QObject {
    Q_OBJECT

public:
    // `file` is the screen's QML file in Zimbrel.App, such as "LoginView.qml".
    explicit ScreenTest(QString file) : m_file(std::move(file)) {}

protected:
    std::unique_ptr<ModelFixture> m_f;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<ViewHarness> m_h;

    void show(QSize size = {940, 640})
    {
        m_h = std::make_unique<ViewHarness>(m_model.get(), m_file, size);
        QVERIFY(m_h->root());
    }

private Q_SLOTS:
    void init()
    {
        m_f = std::make_unique<ModelFixture>();
        m_model = m_f->make();
    }

    void cleanup()
    {
        m_h.reset();
        m_model.reset();
        m_f.reset();
        const QStringList warnings = ViewHarness::warnings();
        ViewHarness::clearWarnings();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
    }

private:
    QString m_file;
};
