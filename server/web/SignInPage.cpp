#include "SignInPage.h"

#include "ClientAddress.h"
#include "Credentials.h"
#include "SignInThrottle.h"
#include "Store.h"
#include "WebFrame.h"
#include "WebRequest.h"
#include "WebSession.h"
#include "WebText.h"

#include <httplib.h>

#include <algorithm>

using WebText::html;

SignInPage::SignInPage(Store &store, WebSession &session, SignInThrottle &throttle, bool secureCookie,
                       QSet<QString> trustedProxies)
    : m_store(store)
    , m_session(session)
    , m_throttle(throttle)
    , m_secureCookie(secureCookie)
    , m_trustedProxies(std::move(trustedProxies))
{
}

void SignInPage::install(httplib::Server &server)
{
    server.Get("/web/login", WebFrame::guarded([this](const auto &req, auto &res) { form(req, res); }));
    server.Post("/web/login", WebFrame::guarded([this](const auto &req, auto &res) { signIn(req, res); }));
    server.Post("/web/logout", WebFrame::guarded([this](const auto &req, auto &res) { signOut(req, res); }));
}

void SignInPage::show(httplib::Response &res, int status, const QString &message, const QString &email)
{
    // The brand pane beside the form on wide screens, as in the desktop app;
    // its sample timer is decoration.
    QString body = QStringLiteral("<div class=\"signin\"><section class=\"signin-card\" aria-labelledby=\"signin-title\">"
                                  "<div class=\"signin-brand\" aria-hidden=\"true\">%1"
                                  "<p class=\"headline\">See the work,<br><span>not just the hours.</span></p>"
                                  "<div class=\"sample\"><div><p class=\"sample-project\">Client Portal Rebuild</p>"
                                  "<p class=\"sample-task\">Design system</p></div><p class=\"sample-time\">02:35:14</p>"
                                  "<span class=\"sample-badge\"></span></div></div>"
                                  "<div class=\"signin-form\"><span class=\"narrow-only\">%2</span>"
                                  "<h1 id=\"signin-title\">Sign in to your workspace</h1>"
                                  "<p class=\"lead\">Use the e-mail and password of your Zimbrel account.</p>")
                       .arg(WebFrame::mark(44), WebFrame::mark(40));
    if (!message.isEmpty())
        body += QStringLiteral("<p class=\"error\" role=\"alert\">%1</p>").arg(html(message));
    body += QStringLiteral("<form method=\"post\" action=\"/web/login\">"
                           "<label>E-mail <input type=\"email\" name=\"email\" value=\"%1\" autocomplete=\"username\" required%2></label>"
                           "<label>Password <input type=\"password\" name=\"password\" autocomplete=\"current-password\" required%3></label>"
                           "<button class=\"btn btn-brand\" type=\"submit\">Sign in</button></form></div></section></div>")
                .arg(html(email), email.isEmpty() ? QStringLiteral(" autofocus") : QString(),
                     email.isEmpty() ? QString() : QStringLiteral(" autofocus"));
    WebFrame::send(res, status, QStringLiteral("Sign in"), body);
}

void SignInPage::form(const httplib::Request &req, httplib::Response &res)
{
    if (m_session.viewer(req))
        return WebFrame::redirect(res, QStringLiteral("/web/"));
    show(res, 200, {}, {});
}

// The sign-in form itself carries no form token: there is no session yet, and
// the cookie it sets is SameSite=Strict, so another site cannot use it.
void SignInPage::signIn(const httplib::Request &req, httplib::Response &res)
{
    const QString email = WebRequest::formValue(req, QStringLiteral("email")).trimmed();
    const QString password = WebRequest::formValue(req, QStringLiteral("password"));
    const QString address = clientAddress(req.remote_addr, req.get_header_value("X-Forwarded-For"), m_trustedProxies);
    const QString account = Credentials::emailKey(email);
    if (email.isEmpty() || password.isEmpty() || password.toUtf8().size() > Credentials::maxPasswordBytes)
        return show(res, 422, QStringLiteral("Enter your e-mail and password."), email);
    const SignInThrottle::Attempt attempt = m_throttle.attempt(account, address);
    if (const auto wait = attempt.wait) {
        const qint64 minutes = std::max<qint64>(1, (*wait + 59999) / 60000);
        return show(res, 429,
                    QStringLiteral("Too many sign-in attempts. Try again in %1 minute%2.")
                        .arg(minutes)
                        .arg(minutes == 1 ? QString() : QStringLiteral("s")),
                    email);
    }
    const auto member = m_store.memberByEmail(account);
    const bool good = member ? Credentials::verifyPassword(password, member->passwordHash)
                             : (Credentials::dummyVerify(password), false);
    if (good)
        m_throttle.succeeded(attempt, account, address);
    if (!good || member->disabled)
        return show(res, 401, QStringLiteral("The e-mail or password is not right."), email);
    const QString token = m_store.createSession(member->id);
    const QString cookie = QStringLiteral("%1=%2; Path=/web; HttpOnly; SameSite=Strict; Max-Age=%3%4")
                               .arg(QLatin1String(WebSession::cookieName), token)
                               .arg(Store::sessionIdleMs / 1000)
                               .arg(m_secureCookie ? QStringLiteral("; Secure") : QString());
    res.set_header("Set-Cookie", cookie.toStdString());
    WebFrame::secureHeaders(res);
    WebFrame::redirect(res, QStringLiteral("/web/"));
}

void SignInPage::signOut(const httplib::Request &req, httplib::Response &res)
{
    // Signing out of a session that has ended already just clears the cookie.
    if (const auto viewer = m_session.viewer(req)) {
        if (!m_session.poster(req))
            return WebFrame::refuseForm(res);
        m_store.endSession(viewer->token);
    }
    res.set_header("Set-Cookie", std::string(WebSession::cookieName) + "=; Path=/web; HttpOnly; SameSite=Strict; Max-Age=0");
    WebFrame::redirect(res, QStringLiteral("/web/login"));
}
