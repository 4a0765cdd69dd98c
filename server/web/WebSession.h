#pragma once

#include "Store.h"

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <optional>

namespace httplib {
struct Request;
}

// Who is looking at a web page, and what they may see and change.
//
// A browser session is the cookie "zimbrel_session" holding a session token
// like the desktop client's. Every form a page shows carries the session's
// form token in a hidden field named "csrf" (WebFrame::csrfField); a POST
// handler starts with poster(), which gives the viewer only when that field
// matches their session, so a page on another site cannot post for them.
// The form token is an HMAC of the session token under a key the server keeps
// in its settings, so every server on the same database accepts it and it
// ends with the session.
class WebSession {
public:
    static constexpr const char *cookieName = "zimbrel_session";

    struct Viewer {
        Store::Member member;
        QString token; // the session token from the cookie
        QString csrf;  // the form token of this session

        // Owners and admins run the workspace (members, projects, settings).
        bool runsWorkspace() const;
        // Owners, admins and managers see the team and every member's days.
        bool seesTeam() const;
    };

    explicit WebSession(Store &store);

    // The signed-in, enabled member of the request's session cookie.
    std::optional<Viewer> viewer(const httplib::Request &req);
    // The viewer of a form POST whose "csrf" field is their session's form
    // token; nothing when not signed in or the field is missing or wrong.
    std::optional<Viewer> poster(const httplib::Request &req);

    // The member whose data a page shows: `memberId` (empty: the viewer
    // themself); nothing when it is unknown or the viewer may not see it.
    std::optional<Store::Member> subject(const Viewer &viewer, const QString &memberId);

    QString csrfFor(const QString &sessionToken);

private:
    QByteArray key();

    Store &m_store;
    QMutex m_keyLock;
    QByteArray m_key;
};
