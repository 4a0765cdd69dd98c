#pragma once

#include "WebSession.h"

#include <QString>

#include <functional>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// The frame every web page is sent in, and the small pieces pages share.
//
// A page handler builds the HTML of its <main> and hands it to send(), which
// wraps it in the document: <head> with the stylesheet /web/style.css, the
// header with the mark, the navigation the viewer's role allows (current
// section marked) and the sign-out button, and the security headers
// (a content security policy without any inline script or style: pages use
// classes from the stylesheet, never style="" or <script>).
//
//   void MyPage::get(const httplib::Request &req, httplib::Response &res) {
//       const auto viewer = m_session.viewer(req);
//       if (!viewer) return WebFrame::toSignIn(res);
//       if (!viewer->runsWorkspace()) return WebFrame::refuse(res, 403, "Only admins …", &*viewer);
//       WebFrame::send(res, 200, "Members", WebFrame::heading("Workspace", "Members") + …, &*viewer, "members");
//   }
//   void MyPage::post(const httplib::Request &req, httplib::Response &res) {
//       const auto viewer = m_session.poster(req); // checks the form token
//       if (!viewer) return WebFrame::refuseForm(res);
//       …; WebFrame::redirect(res, "/web/admin/members");
//   }
//
// Forms: <form method="post" action="…"> + csrfField(viewer) + labelled
// controls. Every value from a member or a client goes through WebText::html.
//
// Stylesheet classes for pages:
//   .card                a card (white/dark surface, 1 px line, soft shadow);
//                        .card > h2 its title
//   .grid-2, .grid-3     cards side by side on wide screens, stacked on narrow
//   .pill + .pill-brand / .pill-amber / .pill-rose / .pill-violet / .pill-sky
//                        a small coloured tag (status, role, flag)
//   .btn + .btn-brand / .btn-quiet / .btn-danger / .btn-lime
//                        pill buttons (also on <a>)
//   .error, .notice      a rose / brand banner sentence
//   table.data           a table of figures; td.num right-aligned digits;
//                        wrap it in <div class="scroll"> for narrow screens
//   .muted, .eyebrow     secondary text; the small coloured label over a title
//   .form-row            label + control pairs laid out in a row that wraps
//   .visually-hidden     text only assistive technology reads
namespace WebFrame {

// Strict CSP, no sniffing, no referrer, no caching of private pages.
void secureHeaders(httplib::Response &res);

// The whole page: `main` is the inner HTML of <main>. `viewer` null: the
// header without navigation (sign-in and error pages). `section` names the
// navigation entry to mark as current ("week", "day", "export", "members",
// "projects", "settings", "audit").
void send(httplib::Response &res, int status, const QString &title, const QString &main,
          const WebSession::Viewer *viewer = nullptr, const QString &section = {});

// A page with one sentence, for refusals and failures (403, 404, 400 …).
void refuse(httplib::Response &res, int status, const QString &sentence, const WebSession::Viewer *viewer = nullptr);
// 403 for a POST without a signed-in session or without its form token.
void refuseForm(httplib::Response &res);
// 303 to the sign-in page, and to `to`.
void toSignIn(httplib::Response &res);
void redirect(httplib::Response &res, const QString &to);

// The page title block: a small eyebrow over the title, whose `muted` part
// follows in the muted colour; `trailing` HTML sits at its right.
QString heading(const QString &eyebrow, const QString &title, const QString &muted = {}, const QString &trailing = {});
// The hidden form field carrying the viewer's form token.
QString csrfField(const WebSession::Viewer &viewer);
// A form with only a button that posts to `action` (sign out, disable …);
// `hidden` is more hidden fields, as HTML whose values are already escaped.
QString postButton(const WebSession::Viewer &viewer, const QString &action, const QString &label,
                   const QString &kind = QStringLiteral("quiet"), const QString &hidden = {});
// The mark as inline SVG, `size` CSS pixels, coloured by the stylesheet.
QString mark(int size);

// Wraps a handler so a database failure answers with a 503 page, not a crash.
using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;
Handler guarded(Handler handler);

} // namespace WebFrame
