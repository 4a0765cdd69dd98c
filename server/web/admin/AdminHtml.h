#pragma once

#include "WebSession.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// Pieces the pages that run the workspace share: their gate, banners and
// labelled form controls. Values go through WebText::html here.
namespace AdminHtml {

// A handler behind the gate: the viewer is signed in, runs the workspace,
// and for a POST sent the session's form token.
using Handler = std::function<void(const WebSession::Viewer &, const httplib::Request &, httplib::Response &)>;
using Gate = std::function<std::function<void(const httplib::Request &, httplib::Response &)>(Handler, bool post)>;

// The notice for a finished change (`done` names it, from the redirect after
// a POST) and the error of a refused one.
QString banner(const QString &notice, const QString &error);
// 303 to `page` with `done` telling the next GET which notice to show.
void done(httplib::Response &res, const QString &page, const QString &done);

// <label>Text <input …></label>; `attributes` is trusted markup
// (type, required, autocomplete …).
QString input(const QString &label, const QString &name, const QString &value, const QString &attributes = {},
              const QString &hint = {});
// <label>Text <select>…</select></label> of (value, text) options.
QString select(const QString &label, const QString &name, const QList<QPair<QString, QString>> &options,
               const QString &selected);

// The role as a coloured pill, and the status of a member or project.
QString rolePill(const QString &role);
QString statePill(bool off, const QString &onText, const QString &offText);

// A form with one button that posts to `action`; `context` (a name) is read
// after the label by assistive technology only, so a list of "Remove"
// buttons says whom each removes.
QString postButton(const WebSession::Viewer &viewer, const QString &action, const QString &label,
                   const QString &context, const QString &kind, const QString &hidden = {});

// Role options in the order of rank; "owner" only for owners to give.
QList<QPair<QString, QString>> roleOptions(bool withOwner);

} // namespace AdminHtml
