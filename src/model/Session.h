#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <optional>

class LocalTimer;

// Who uses the program: nobody, a member with a server session (token), or
// the demo workspace. Holds the token, the member's name and address, and
// whose local timer the stored snapshot is.
class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(LocalTimer &timer, QObject *parent = nullptr);
    // Waits for the keyring work still queued (a save waiting on a prompt included).
    ~Session() override;

    bool signedIn() const { return m_signedIn; }
    bool isDemo() const { return m_isDemo; }
    QString userName() const { return m_userName; }
    QString userEmail() const { return m_userEmail; }
    QString userRole() const { return m_userRole; }
    std::optional<QString> token() const { return m_token; }
    // The token of a session that talks to the server: present, and not the demo.
    std::optional<QString> serverToken() const { return m_isDemo ? std::nullopt : m_token; }

    // Takes the session kept in the keyring; true when there was one.
    bool restore();
    // Signs in; throws APIError with the sentence the login screen shows and
    // then changes nothing. The same member keeps the local timer; anyone
    // else starts from an empty one. A timer kept aside for this member comes back.
    QCoro::Task<void> signIn(QString email, QString password);
    // Signs out at once (the caller has stopped the timer). Returns the token
    // of a real session, whose queue must still be pushed with it; otherwise
    // the local timer is reset here.
    std::optional<QString> signOut();
    // Switches to the demo persona. A member's queued stops are kept aside
    // first (the caller has stopped the timer), and the local timer is reset.
    void enterDemo();

Q_SIGNALS:
    void signedInChanged();
    void isDemoChanged();
    void userChanged();
    void tokenChanged();
    // The token of a sign-in was stored: in the keyring, or (inFile) in the
    // private file store because the keyring could not take it.
    void tokenSaved(bool inFile);

private:
    void setSignedIn(bool v);
    void setIsDemo(bool v);
    void setToken(std::optional<QString> token);
    void setUser(const QString &name, const QString &email, const QString &role);
    // Saves (or, with nothing, removes) the token on the keyring thread, in
    // the order asked: a save may wait on a prompt the member is answering,
    // and neither sign-in nor the window waits for it.
    void keepToken(std::optional<QString> token);
    // Sets the stored timer's queue aside for the member it belongs to.
    void keepMemberTimer();
    // Puts back what was kept aside for `member`.
    void restoreKeptTimer(const QString &member);

    LocalTimer &m_timer;
    bool m_signedIn = false;
    bool m_isDemo = false;
    QString m_userName;
    QString m_userEmail;
    QString m_userRole;
    std::optional<QString> m_token;
    QThreadPool m_keyring;
};
