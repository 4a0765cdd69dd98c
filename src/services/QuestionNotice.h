#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

// One notice with answer buttons over org.freedesktop.Notifications. Asking
// again replaces the notice still shown, so there is only ever one; the
// member's choice comes back as `answered` with the key of the action. The
// call never waits: without a bus or a notification service the question is
// simply not shown as a notice.
class QuestionNotice : public QObject {
    Q_OBJECT
public:
    struct Action {
        QString key;
        QString label;
    };

    explicit QuestionNotice(QObject *parent = nullptr);
    ~QuestionNotice() override;

    void ask(const QString &title, const QString &body, const QList<Action> &actions);
    // Takes the notice down (answered elsewhere).
    void withdraw();

Q_SIGNALS:
    void answered(const QString &key);

private Q_SLOTS:
    void actionInvoked(uint id, const QString &key);
    void closed(uint id, uint reason);

private:
    struct Question {
        QString title;
        QString body;
        QStringList actions; // key, label, key, label…
    };
    void send(const Question &question);
    void notified(uint id);

    uint m_id = 0; // the notice shown, 0 when none
    // While a Notify call is out the notice's id is not known yet, so a new
    // question waits for it to replace that notice rather than add a second
    // one, and a withdrawal closes it once it is known.
    bool m_inFlight = false;
    std::optional<Question> m_next;
    bool m_withdrawn = false;
    bool m_listening = false;
};
