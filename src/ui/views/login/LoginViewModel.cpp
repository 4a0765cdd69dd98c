#include "LoginViewModel.h"

#include "APIError.h"
#include "AppModel.h"
#include "SecretInputAccessible.h"
#include "TrackingLog.h"
#include "ViewsSetup.h"

#include <exception>
#include <optional>

using namespace Qt::StringLiterals;

LoginViewModel::LoginViewModel(QObject *parent)
    : LoginViewModel(ViewsSetup::model(), parent)
{
}

LoginViewModel::LoginViewModel(AppModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    // The password field's accessible interface: ready before the form's
    // inputs exist, since the view makes its view model first.
    SecretInputAccessible::install();
}

QString LoginViewModel::website()
{
    return u"zimbrel.com"_s;
}

QString LoginViewModel::unexpectedFailure()
{
    return u"Something went wrong. Please try again."_s;
}

bool LoginViewModel::canSubmit(const QString &email, const QString &password) const
{
    return !m_busy && m_model && !email.isEmpty() && !password.isEmpty();
}

bool LoginViewModel::signIn(const QString &email, const QString &password)
{
    if (!canSubmit(email, password))
        return false;
    setBusy(true);
    setError(QString());
    // Runs on by itself (the task starts eagerly); run() catches everything.
    run(email, password);
    return true;
}

QCoro::Task<void> LoginViewModel::run(QString email, QString password)
{
    QPointer<LoginViewModel> self(this);
    QPointer<AppModel> model = m_model;
    std::optional<QString> failure;
    try {
        co_await model->signIn(email, password);
    } catch (const APIError &e) {
        failure = e.localizedDescription();
    } catch (const std::exception &e) {
        qCWarning(lcTracking, "sign-in failed: %s", e.what());
        failure = unexpectedFailure();
    } catch (...) {
        qCWarning(lcTracking, "sign-in failed");
        failure = unexpectedFailure();
    }
    // The view may have gone (the window closed) while the request ran.
    if (!self)
        co_return;
    if (failure)
        setError(*failure);
    setBusy(false);
    Q_EMIT finished(!failure && model && model->signedIn());
}

void LoginViewModel::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    Q_EMIT busyChanged();
}

void LoginViewModel::setError(const QString &error)
{
    if (error == m_error)
        return;
    m_error = error;
    Q_EMIT errorChanged();
}
