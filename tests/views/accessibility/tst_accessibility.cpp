// The screens as assistive tools use them: every control driven by its
// accessible action alone (the calls a screen reader's bridge makes), the
// Tab order through the Timer screen, and every text a person sees present
// in the accessibility tree unless it is decoration.
#include "ModelFixture.h"
#include "ViewHarness.h"

#include <QAccessible>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTextDocumentFragment>

using namespace Qt::StringLiterals;

namespace {

QAccessibleInterface *accessible(QObject *item)
{
    return item ? QAccessible::queryAccessibleInterface(item) : nullptr;
}

// Runs `action` the way an assistive tool does; false when it is not offered.
bool act(QObject *item, const QString &action)
{
    QAccessibleInterface *iface = accessible(item);
    QAccessibleActionInterface *actions = iface ? iface->actionInterface() : nullptr;
    if (!actions || !actions->actionNames().contains(action))
        return false;
    actions->doAction(action);
    return true;
}

bool press(QObject *item) { return act(item, QAccessibleActionInterface::pressAction()); }
bool toggle(QObject *item) { return act(item, QAccessibleActionInterface::toggleAction()); }

QString plain(const QString &text)
{
    QString flat = Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
    // A button drawn as "Allow…" may be named for what it allows.
    flat.remove(u'…');
    return flat.simplified().toLower();
}

// Everything the accessibility tree under `iface` says: names, descriptions, values.
void said(QAccessibleInterface *iface, QStringList &out, int depth = 0)
{
    if (!iface || depth > 64 || iface->state().invisible)
        return;
    out << plain(iface->text(QAccessible::Name)) << plain(iface->text(QAccessible::Description));
    if (QAccessibleValueInterface *value = iface->valueInterface())
        out << plain(value->currentValue().toString());
    for (int i = 0; i < iface->childCount(); ++i)
        said(iface->child(i), out, depth + 1);
}

// Whether the item was marked as decoration for assistive tools. Reads the
// attached object only where one exists: creating it would put the item in
// the tree and hide the fault this looks for.
bool ignored(const QQuickItem *item)
{
    for (QObject *child : item->children())
        if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0)
            return child->property("ignored").toBool();
    return false;
}

void shownTexts(QQuickItem *item, QStringList &out)
{
    if (!item->isVisible() || item->opacity() <= 0 || ignored(item))
        return;
    if (item->inherits("QQuickText") && item->width() > 0) {
        const QString text = plain(item->property("text").toString());
        if (!text.isEmpty())
            out << text;
    }
    for (QQuickItem *child : item->childItems())
        shownTexts(child, out);
}

// Texts shown in `window` that no accessible name, description or value holds.
QStringList unreadTexts(QQuickWindow *window)
{
    QStringList tree;
    said(accessible(window), tree);
    const QString all = tree.join(u'\n');
    QStringList shown;
    shownTexts(window->contentItem(), shown);
    QStringList missing;
    for (const QString &text : shown)
        if (!all.contains(text))
            missing << text;
    return missing;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

    std::unique_ptr<ModelFixture> m_f;
    std::unique_ptr<AppModel> m_model;

private Q_SLOTS:
    void init()
    {
        m_f = std::make_unique<ModelFixture>();
        m_f->server.respond(u"settings/get"_s, 200, QJsonObject{{u"success"_s, true}});
    }

    void cleanup()
    {
        m_model.reset();
        m_f.reset();
    }

    void timerControlsActOnTheirActions()
    {
        m_model = m_f->make();
        m_model->enterDemo();
        ViewHarness h(m_model.get(), TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s));

        QQuickItem *button = h.item(u"startStop"_s);
        QVERIFY(press(button));
        QVERIFY(m_model->isRunning());
        QCOMPARE(accessible(button)->text(QAccessible::Name), u"Stop tracking"_s);
        QVERIFY(press(button));
        QVERIFY(!m_model->isRunning());

        QQuickItem *privateSwitch = h.item(u"privateSwitch"_s);
        QVERIFY(toggle(privateSwitch));
        QVERIFY(m_model->isPrivate());
        QVERIFY(accessible(privateSwitch)->state().checked);
        QVERIFY(press(privateSwitch));
        QVERIFY(!m_model->isPrivate());

        // A project, then a task, chosen from the pickers' menus.
        const auto choose = [&](const QString &picker, int row) {
            QQuickItem *body = h.item(picker)->findChild<QQuickItem *>(u"pickerBody"_s);
            auto *menu = h.item(picker)->findChild<QObject *>(u"pickerMenu"_s);
            QVERIFY(press(body));
            QTRY_VERIFY(menu->property("opened").toBool());
            QQuickItem *entry = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, row));
            QVERIFY(entry);
            QVERIFY(press(entry));
            QTRY_VERIFY(!menu->property("visible").toBool());
        };
        choose(u"projectPicker"_s, 1);
        QCOMPARE(m_model->projectID(), std::optional<QString>(u"2"_s));
        const std::optional<QString> firstTask = m_model->taskID();
        choose(u"taskPicker"_s, 1);
        QVERIFY(m_model->taskID() && m_model->taskID() != firstTask);
        QCOMPARE(accessible(h.item(u"taskPicker"_s)->findChild<QQuickItem *>(u"pickerBody"_s))->text(QAccessible::Name),
                 u"Task: "_s + m_model->task()->name);

        const QStringList unread = unreadTexts(h.view());
        QVERIFY2(unread.isEmpty(), qPrintable(unread.join(u" | "_s)));
    }

    void tabReachesTheButtonAndBothPickers()
    {
        m_model = m_f->make();
        m_model->enterDemo();
        ViewHarness h(m_model.get(), TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s));
        h.view()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(h.view()));
        QQuickItem *button = h.item(u"startStop"_s);
        const QList<QQuickItem *> expected{
            button,
            h.item(u"projectPicker"_s)->findChild<QQuickItem *>(u"pickerBody"_s),
            h.item(u"taskPicker"_s)->findChild<QQuickItem *>(u"pickerBody"_s),
            h.item(u"privateSwitch"_s),
        };
        QList<QQuickItem *> reached;
        for (int i = 0; i < 20 && reached.size() < expected.size(); ++i) {
            QTest::keyClick(h.view(), Qt::Key_Tab);
            QQuickItem *focus = h.view()->activeFocusItem();
            if (expected.contains(focus) && !reached.contains(focus))
                reached << focus;
            if (focus == button) {
                auto *ring = button->findChild<QQuickItem *>(u"focusRing"_s);
                QVERIFY(ring && ring->isVisible());
            }
        }
        QCOMPARE(reached, expected);

        // From the project picker, Space opens its menu.
        expected[1]->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(h.view(), Qt::Key_Space);
        QTRY_VERIFY(h.item(u"projectPicker"_s)->findChild<QObject *>(u"pickerMenu"_s)->property("opened").toBool());
    }

    void todayRefreshReloads()
    {
        m_model = m_f->signedIn();
        ViewHarness h(m_model.get(), TestEnv::sourcePath(u"tests/views/timer/ScreenHarness.qml"_s));
        h.root()->setProperty("screen", u"today"_s);
        const int before = m_f->server.count(u"projects"_s);
        QVERIFY(press(h.item(u"refresh"_s)));
        QTRY_COMPARE(m_f->server.count(u"projects"_s), before + 1);
        ModelFixture::settle(*m_model);
        const QStringList unread = unreadTexts(h.view());
        QVERIFY2(unread.isEmpty(), qPrintable(unread.join(u" | "_s)));
    }

    void settingsControlsActOnTheirActions()
    {
        m_model = m_f->signedIn();
        ViewHarness h(m_model.get(), u"SettingsView.qml"_s);

        const bool goal = m_model->notifyGoal();
        QVERIFY(toggle(h.item(u"notifyGoalSwitch"_s)));
        QCOMPARE(m_model->notifyGoal(), !goal);
        const bool idle = m_model->notifyIdle();
        QVERIFY(press(h.item(u"notifyIdleSwitch"_s)));
        QCOMPARE(m_model->notifyIdle(), !idle);
        QVERIFY(toggle(h.item(u"launchSwitch"_s)));
        QTRY_VERIFY(m_model->launchAtLogin());

        QQuickItem *stepper = h.item(u"goalStepper"_s);
        QAccessibleValueInterface *value = accessible(stepper)->valueInterface();
        QVERIFY(value);
        const double hours = m_model->dayGoalHours();
        QCOMPARE(value->currentValue().toDouble(), hours);
        QVERIFY(act(stepper, QAccessibleActionInterface::increaseAction()));
        QCOMPARE(m_model->dayGoalHours(), hours + 1);
        QCOMPARE(value->currentValue().toDouble(), hours + 1);
        QVERIFY(act(stepper, QAccessibleActionInterface::decreaseAction()));
        QCOMPARE(value->currentValue().toDouble(), hours);
        QVERIFY(press(h.item(u"goalIncrease"_s)));
        QCOMPARE(m_model->dayGoalHours(), hours + 1);

        const QStringList unread = unreadTexts(h.view());
        QVERIFY2(unread.isEmpty(), qPrintable(unread.join(u" | "_s)));

        QVERIFY(press(h.item(u"signOutButton"_s)));
        QVERIFY(!m_model->signedIn());
    }

    void panelControlsActOnTheirActions()
    {
        m_model = m_f->signedIn();
        ViewHarness h(m_model.get(), u"MenuBarView.qml"_s, {300, 260});
        QVERIFY(press(h.item(u"startStopButton"_s)));
        QVERIFY(m_model->isRunning());
        const QStringList unread = unreadTexts(h.view());
        QVERIFY2(unread.isEmpty(), qPrintable(unread.join(u" | "_s)));
        QVERIFY(press(h.item(u"startStopButton"_s)));
        QVERIFY(!m_model->isRunning());
        QSignalSpy open(h.root(), SIGNAL(openRequested()));
        QSignalSpy quit(h.root(), SIGNAL(quitRequested()));
        QVERIFY(press(h.item(u"openButton"_s)));
        QVERIFY(press(h.item(u"quitButton"_s)));
        QCOMPARE(open.size(), 1);
        QCOMPARE(quit.size(), 1);
    }

    void loginTextsAreReadAndTheSampleIsNot()
    {
        m_model = m_f->make();
        ViewHarness h(m_model.get(), u"LoginView.qml"_s);
        const QStringList unread = unreadTexts(h.view());
        QVERIFY2(unread.isEmpty(), qPrintable(unread.join(u" | "_s)));
        QStringList tree;
        said(accessible(h.view()), tree);
        QVERIFY(!tree.join(u'\n').contains(u"02:35:14"_s));
        QVERIFY(press(h.item(u"demoButton"_s)));
        QVERIFY(m_model->isDemo());
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
