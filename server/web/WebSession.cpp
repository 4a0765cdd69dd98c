#include "WebSession.h"

#include "Credentials.h"
#include "WebRequest.h"
#include "WorkspaceAdmin.h"

#include <QMessageAuthenticationCode>
#include <QMutexLocker>

#include <httplib.h>

namespace {

const QString keySetting = QStringLiteral("web_form_key");

bool sameText(const QByteArray &a, const QByteArray &b)
{
    // Constant time for equal lengths, so a guess learns nothing from timing.
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

bool WebSession::Viewer::runsWorkspace() const
{
    return WorkspaceAdmin::mayAdminister(member.role);
}

bool WebSession::Viewer::seesTeam() const
{
    return runsWorkspace() || member.role == QLatin1String("manager");
}

WebSession::WebSession(Store &store)
    : m_store(store)
{
}

std::optional<WebSession::Viewer> WebSession::viewer(const httplib::Request &req)
{
    const QString cookies = WebRequest::fromStd(req.get_header_value("Cookie"));
    const QString prefix = QLatin1String(cookieName) + QLatin1Char('=');
    for (const QString &part : cookies.split(QLatin1Char(';'))) {
        const QString c = part.trimmed();
        if (!c.startsWith(prefix))
            continue;
        const QString token = c.mid(prefix.size());
        if (token.isEmpty())
            return std::nullopt;
        const auto member = m_store.memberForToken(token);
        if (!member)
            return std::nullopt;
        return Viewer{*member, token, csrfFor(token)};
    }
    return std::nullopt;
}

std::optional<WebSession::Viewer> WebSession::poster(const httplib::Request &req)
{
    auto v = viewer(req);
    if (!v || !sameText(WebRequest::formValue(req, QStringLiteral("csrf")).toUtf8(), v->csrf.toUtf8()))
        return std::nullopt;
    return v;
}

std::optional<Store::Member> WebSession::subject(const Viewer &viewer, const QString &memberId)
{
    if (memberId.isEmpty() || memberId == QString::number(viewer.member.id))
        return viewer.member;
    if (!viewer.seesTeam())
        return std::nullopt;
    bool good = false;
    const qint64 id = memberId.toLongLong(&good);
    return good ? m_store.memberById(id) : std::nullopt;
}

QString WebSession::csrfFor(const QString &sessionToken)
{
    return QString::fromLatin1(QMessageAuthenticationCode::hash(sessionToken.toUtf8(), key(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QByteArray WebSession::key()
{
    QMutexLocker lock(&m_keyLock);
    if (m_key.isEmpty()) {
        QString stored = m_store.setting(keySetting);
        if (stored.isEmpty()) {
            // Two servers starting on one database may both write; reading
            // back makes them agree on the last one written.
            m_store.setSetting(keySetting, Credentials::newToken());
            stored = m_store.setting(keySetting);
        }
        m_key = stored.toUtf8();
    }
    return m_key;
}
