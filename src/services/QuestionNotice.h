#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

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
    uint m_id = 0;       // the notice shown, 0 when none
    int m_generation = 0; // an answer to an older Notify call no longer names the notice shown
    bool m_listening = false;
};
