// The login screen against the loopback server: focus and keys, the busy
// state, the server's sentence in the banner, the demo, odd input, and
// screenshots in both looks, wide and narrow.
#include "LoginViewModel.h"
#include "ScreenTest.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestLoginView : public ScreenTest {
    Q_OBJECT

public:
    TestLoginView() : ScreenTest(u"LoginView.qml"_s) {}

private:
    QQuickItem *emailInput() const { return m_h->item(u"emailFieldInput"_s); }
    QQuickItem *passwordInput() const { return m_h->item(u"passwordFieldInput"_s); }
    QQuickItem *button() const { return m_h->item(u"signInButton"_s); }
    bool busy() const { return m_h->root()->property("busy").toBool(); }
    QString error() const { return m_h->root()->property("error").toString(); }
    QString buttonText() const { return button()->property("text").toString(); }

    // Types ASCII text, key by key, into the focused item.
    void type(const QString &text)
    {
        for (QChar c : text)
            QTest::keyClick(m_h->view(), c.toLatin1());
    }
    void key(Qt::Key k) { QTest::keyClick(m_h->view(), k); }

    void fill(const QString &email, const QString &password)
    {
        emailInput()->setProperty("text", email);
        passwordInput()->setProperty("text", password);
    }

    QJsonObject lastLogin() const
    {
        const auto request = m_f->server.last(u"login"_s);
        return request ? request->json() : QJsonObject();
    }

    void refuse(const QString &message)
    {
        m_f->server.respond(u"login"_s, 401, QJsonObject{{u"success"_s, false}, {u"message"_s, message}});
    }

private Q_SLOTS:
    void returnWalksTheFormAndSubmitsOnce()
    {
        show();
        QSignalSpy submitted(m_h->root(), SIGNAL(submitted()));
        QSignalSpy signedIn(m_h->root(), SIGNAL(signedIn()));
        QTRY_VERIFY(emailInput()->hasActiveFocus());
        QVERIFY(!button()->isEnabled());
        key(Qt::Key_Tab);
        QTRY_VERIFY(passwordInput()->hasActiveFocus());
        QTest::keyClick(m_h->view(), Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(emailInput()->hasActiveFocus());

        type(u"member@example.com"_s);
        QVERIFY(!button()->isEnabled()); // the password is still empty
        key(Qt::Key_Return);
        QTRY_VERIFY(passwordInput()->hasActiveFocus());
        key(Qt::Key_Return); // empty password: nothing starts
        QTest::qWait(100);
        QVERIFY(!busy());
        QCOMPARE(m_f->server.count(u"login"_s), 0);
        QCOMPARE(submitted.count(), 0);

        type(u"secret"_s);
        QVERIFY(button()->isEnabled());
        QCOMPARE(buttonText(), u"Sign in"_s);
        m_f->server.delay(u"login"_s, 1500);
        key(Qt::Key_Return);
        QVERIFY(busy());
        key(Qt::Key_Return); // a second Return while busy starts nothing
        key(Qt::Key_Enter);
        QVERIFY(!button()->isEnabled());
        QCOMPARE(buttonText(), u"Signing in\u2026"_s);
        QVERIFY(m_h->item(u"signInSpinner"_s)->isVisible());
        m_h->screenshot(u"login"_s, u"login-busy"_s);

        QTRY_COMPARE_WITH_TIMEOUT(signedIn.count(), 1, 10000);
        QCOMPARE(submitted.count(), 1);
        QCOMPARE(m_f->server.count(u"login"_s), 1);
        QCOMPARE(lastLogin().value(u"email"_s).toString(), u"member@example.com"_s);
        QCOMPARE(lastLogin().value(u"password"_s).toString(), u"secret"_s);
        QVERIFY(m_model->signedIn());
        QVERIFY(!m_model->isDemo());
        QCOMPARE(m_model->userName(), u"Test Member"_s);
        QVERIFY(!busy());
        QVERIFY(!m_h->item(u"signInSpinner"_s)->isVisible());
    }

    void wrongPasswordShowsTheServersSentenceUntilTheNextAttempt()
    {
        show();
        QSignalSpy signedIn(m_h->root(), SIGNAL(signedIn()));
        refuse(u"Invalid credentials."_s);
        QQuickItem *banner = m_h->item(u"errorBanner"_s);
        QVERIFY(!banner->isVisible());
        type(u"member@example.com"_s);
        key(Qt::Key_Return);
        type(u"wrong"_s);
        m_h->click(button());
        QTRY_VERIFY(banner->isVisible());
        QVERIFY(!busy());
        QCOMPARE(error(), u"Invalid credentials."_s);
        QCOMPARE(m_h->item(u"errorText"_s)->property("text").toString(), u"Invalid credentials."_s);
        QCOMPARE(m_h->root()->property("email").toString(), u"member@example.com"_s);
        QCOMPARE(m_h->root()->property("password").toString(), u"wrong"_s);
        QVERIFY(!m_model->signedIn());
        QCOMPARE(signedIn.count(), 0);

        // Correcting the password keeps the banner; the next attempt clears it.
        m_h->click(passwordInput());
        QTRY_VERIFY(passwordInput()->hasActiveFocus());
        key(Qt::Key_Backspace);
        type(u"x"_s);
        QVERIFY(banner->isVisible());
        m_f->server.clear();
        m_f->server.delay(u"login"_s, 500);
        key(Qt::Key_Return);
        QVERIFY(busy());
        QTRY_VERIFY(!banner->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(signedIn.count(), 1, 10000);
        QVERIFY(m_model->signedIn());
        QVERIFY(error().isEmpty());
    }

    void stalledServerKeepsTheSpinnerUntilTheTimeOut()
    {
        API::setTimeouts(1500ms, 1500ms);
        m_f->server.delay(u"login"_s, 4000);
        show();
        fill(u"member@example.com"_s, u"secret"_s);
        m_h->click(button());
        QVERIFY(busy());
        QTest::qWait(900);
        QVERIFY(busy());
        QVERIFY(m_h->item(u"signInSpinner"_s)->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!busy(), 8000);
        QVERIFY(!error().isEmpty());
        QVERIFY(!m_model->signedIn());

        // The fields take input again and the button is back.
        m_h->click(emailInput());
        QTRY_VERIFY(emailInput()->hasActiveFocus());
        QTest::keyClick(m_h->view(), Qt::Key_End);
        type(u".uk"_s);
        QCOMPARE(m_h->root()->property("email").toString(), u"member@example.com.uk"_s);
        QVERIFY(button()->isEnabled());
        QCOMPARE(buttonText(), u"Sign in"_s);
    }

    void exploreTheDemoOpensTheDemo()
    {
        show();
        m_h->click(m_h->item(u"demoButton"_s));
        QTRY_VERIFY(m_model->signedIn());
        QVERIFY(m_model->isDemo());
        QCOMPARE(m_model->userName(), u"Ines Varga"_s);
        QCOMPARE(m_f->server.count(u"login"_s), 0);
    }

    void oddInputIsLaidOutAndSentAsTyped()
    {
        show();
        QQuickItem *form = m_h->item(u"formPane"_s);
        QQuickItem *emailBox = m_h->item(u"emailFieldBox"_s);
        const qreal boxWidth = emailBox->width();

        // Only spaces count as filled; the model trims the e-mail, not the password.
        fill(u"   "_s, u"   "_s);
        QVERIFY(button()->isEnabled());
        refuse(u"The email field is required."_s);
        m_h->click(button());
        QTRY_VERIFY(!busy());
        QCOMPARE(lastLogin().value(u"email"_s).toString(), QString());
        QCOMPARE(lastLogin().value(u"password"_s).toString(), u"   "_s);
        QCOMPARE(error(), u"The email field is required."_s);

        // Ten thousand characters, right-to-left and accented text, and a
        // sentence as long from the server: laid out in their boxes.
        const QString email = QString(u'a').repeated(9988) + u"@example.com"_s;
        QString password;
        while (password.size() < 10000)
            password += u"שלום-мир-ünï-"_s;
        password.truncate(10000);
        fill(email, password);
        refuse(QString(u"Nope "_s).repeated(2000));
        m_h->click(button());
        QTRY_VERIFY(!busy());
        QCOMPARE(lastLogin().value(u"email"_s).toString(), email);
        QCOMPARE(lastLogin().value(u"password"_s).toString(), password);
        QCOMPARE(emailBox->height(), 44.0);
        QCOMPARE(emailBox->width(), boxWidth);
        QCOMPARE(m_h->item(u"passwordFieldBox"_s)->height(), 44.0);
        QVERIFY2(m_h->item(u"errorBanner"_s)->height() < 110, "the banner keeps to a few lines");
        QVERIFY(form->width() <= 400);
        m_h->screenshot(u"login"_s, u"login-odd-input"_s);

        // A paste with line breaks goes in, and what the field holds is what is sent.
        emailInput()->setProperty("text", QString());
        m_h->click(emailInput());
        QTRY_VERIFY(emailInput()->hasActiveFocus());
        QGuiApplication::clipboard()->setText(u"first@example.com\nsecond line\r\n"_s);
        QTest::keySequence(m_h->view(), QKeySequence::Paste);
        const QString pasted = m_h->root()->property("email").toString();
        QVERIFY(pasted.startsWith(u"first@example.com"_s));
        m_h->click(button());
        QTRY_VERIFY(!busy());
        QCOMPARE(lastLogin().value(u"email"_s).toString(), pasted);
        QCOMPARE(emailBox->height(), 44.0);
    }

    void thePasswordNeverReachesAccessibility()
    {
        QAccessible::setActive(true);
        // Every event sent to assistive technology while the password is typed.
        static QStringList sent;
        sent.clear();
        QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
            if (event->type() == QAccessible::TextUpdated)
                sent << static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
            if (event->type() == QAccessible::TextInserted)
                sent << static_cast<QAccessibleTextInsertEvent *>(event)->textInserted();
            if (QAccessibleInterface *iface = event->accessibleInterface())
                sent << iface->text(QAccessible::Name) << iface->text(QAccessible::Value);
        });
        show();
        fill(u"member@example.com"_s, u"hunter2-"_s);
        m_h->click(passwordInput());
        QTRY_VERIFY(passwordInput()->hasActiveFocus());
        QTest::keyClick(m_h->view(), Qt::Key_End);
        type(u"secret"_s);
        QAccessible::installUpdateHandler(nullptr);
        QCOMPARE(m_h->root()->property("password").toString(), u"hunter2-secret"_s);
        for (const QString &text : std::as_const(sent))
            QVERIFY2(!text.contains(u"hunter"_s) && !text.contains(u"ecret"_s), qPrintable(text));

        QAccessibleInterface *field = QAccessible::queryAccessibleInterface(passwordInput());
        QVERIFY(field);
        QCOMPARE(field->role(), QAccessible::EditableText);
        QCOMPARE(field->text(QAccessible::Name), u"Password"_s);
        QVERIFY(field->state().passwordEdit);
        QVERIFY(field->state().focused);
        QCOMPARE(field->text(QAccessible::Value), QString(14, QChar(0x2022)));
        QAccessibleTextInterface *text = field->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 14);
        QCOMPARE(text->text(0, 14), QString(14, QChar(0x2022)));
        QVERIFY(field->parent());
        QVERIFY(field->rect().isValid());

        // The e-mail field stays an ordinary text field.
        QAccessibleInterface *email = QAccessible::queryAccessibleInterface(emailInput());
        QCOMPARE(email->text(QAccessible::Name), u"Work email"_s);
        QCOMPARE(email->text(QAccessible::Value), u"member@example.com"_s);
        QVERIFY(!email->state().passwordEdit);
    }

    void viewModelOutlivedByItsSignIn()
    {
        // The view goes away (the window closes) while a sign-in runs: the
        // sign-in still completes and nothing touches the dead view model.
        m_f->server.delay(u"login"_s, 400);
        auto login = std::make_unique<LoginViewModel>(m_model.get());
        QVERIFY(!login->canSubmit(u""_s, u"x"_s));
        QVERIFY(!login->canSubmit(u"x"_s, u""_s));
        QVERIFY(login->signIn(u"member@example.com"_s, u"secret"_s));
        QVERIFY(login->busy());
        QVERIFY(!login->signIn(u"member@example.com"_s, u"secret"_s));
        login.reset();
        QTRY_VERIFY_WITH_TIMEOUT(m_model->signedIn(), 10000);
        QCOMPARE(m_f->server.count(u"login"_s), 1);

        // The model goes away first: the view model ends its busy state.
        auto other = m_f->make();
        LoginViewModel survivor(other.get());
        QSignalSpy finished(&survivor, &LoginViewModel::finished);
        QVERIFY(survivor.signIn(u"member@example.com"_s, u"secret"_s));
        other.reset();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(!survivor.busy());
        QVERIFY(!survivor.canSubmit(u"a"_s, u"b"_s));
    }

    void screenshots()
    {
        show({1100, 700});
        struct Shot {
            QSize size;
            bool brand;
        };
        const Shot shots[] = {{{1100, 700}, true}, {{940, 640}, true}, {{360, 640}, false}};
        for (bool failed : {false, true}) {
            if (failed) {
                refuse(u"These credentials do not match our records."_s);
                fill(u"member@example.com"_s, u"wrong"_s);
                m_h->click(button());
                QTRY_VERIFY(!error().isEmpty());
                m_h->click(passwordInput());
            }
            for (const Shot &s : shots) {
                m_h->resize(s.size);
                QCOMPARE(m_h->item(u"brandPane"_s)->isVisible(), s.brand);
                QQuickItem *form = m_h->item(u"formPane"_s);
                if (s.brand)
                    QVERIFY(form->width() <= 400);
                else
                    QCOMPARE(form->width(), s.size.width() - 16.0);
                for (const QString &look : {u"light"_s, u"dark"_s}) {
                    m_h->setLook(look);
                    const QString name = u"login-%1x%2-%3%4"_s.arg(s.size.width()).arg(s.size.height()).arg(look,
                                         failed ? u"-error"_s : QString());
                    const QImage shot = m_h->screenshot(u"login"_s, name);
                    QVERIFY(!shot.isNull());
                    // The form panel sits on the canvas colour, inset from the window's dark edge.
                    const QPointF inside = form->mapToScene({form->width() / 2, 20});
                    const qreal dpr = m_h->view()->effectiveDevicePixelRatio();
                    QCOMPARE(shot.pixelColor((inside * dpr).toPoint()),
                             QColor(look == u"dark"_s ? 0x0D0E10 : 0xF8F8F7));
                }
            }
        }
    }
};

QTEST_MAIN(TestLoginView)
#include "tst_loginview.moc"
