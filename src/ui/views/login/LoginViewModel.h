#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>

class AppModel;

// The state of the sign-in form: whether a sign-in runs and the sentence of
// the last one that failed. It hands the e-mail and password to the model
// exactly as typed (the model trims the e-mail) and never talks to the
// server itself. One per login view, so a rebuilt view starts clean.
class LoginViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    // The sentence of the last failed sign-in; empty when there is none. It
    // stays until the next attempt starts.
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)
    // The host named in the forgotten-password hint.
    Q_PROPERTY(QString website READ website CONSTANT)

public:
    // Reads the program's model (ViewsSetup::model()).
    explicit LoginViewModel(QObject *parent = nullptr);
    explicit LoginViewModel(AppModel *model, QObject *parent = nullptr);

    bool busy() const { return m_busy; }
    QString error() const { return m_error; }
    static QString website();

    // Filled fields (spaces count) and no sign-in running.
    Q_INVOKABLE bool canSubmit(const QString &email, const QString &password) const;
    // Starts a sign-in when canSubmit allows it; true when one started.
    Q_INVOKABLE bool signIn(const QString &email, const QString &password);

    // Shown when sign-in fails with something other than the server's own error.
    static QString unexpectedFailure();

Q_SIGNALS:
    void busyChanged();
    void errorChanged();
    // A sign-in ended; `ok` when the model is now signed in through it.
    void finished(bool ok);

private:
    QCoro::Task<void> run(QString email, QString password);
    void setBusy(bool busy);
    void setError(const QString &error);

    QPointer<AppModel> m_model;
    bool m_busy = false;
    QString m_error;
};
