#include "SettingsPage.h"

#include "WebFrame.h"
#include "WebRequest.h"
#include "WebText.h"

#include <httplib.h>

using WebRequest::formValue;
using WebText::html;

namespace {
const QString path = QStringLiteral("/web/admin/settings");
}

SettingsPage::SettingsPage(Store &store, WorkspaceAdmin &admin)
    : m_store(store)
    , m_admin(admin)
{
}

void SettingsPage::install(httplib::Server &server, const AdminHtml::Gate &gate)
{
    using namespace std::placeholders;
    server.Get("/web/admin/settings", gate(std::bind(&SettingsPage::show, this, _1, _2, _3), false));
    server.Post("/web/admin/settings", gate(std::bind(&SettingsPage::save, this, _1, _2, _3), true));
}

void SettingsPage::show(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const Store::WorkspaceSettings w = m_store.workspaceSettings();
    const QString notice = WebRequest::param(req, "done") == QLatin1String("saved")
                               ? QStringLiteral("Saved. Desktop apps pick the settings up when they next ask the server.")
                               : QString();
    send(res, viewer, 200, notice, {}, w.screenshots, QString::number(w.screenshotInterval),
         w.retentionDays > 0 ? QString::number(w.retentionDays) : QString());
}

void SettingsPage::send(httplib::Response &res, const WebSession::Viewer &viewer, int status, const QString &notice,
                        const QString &error, bool screenshots, const QString &interval, const QString &retention)
{
    QString body = WebFrame::heading(QStringLiteral("Workspace"), QStringLiteral("Settings"));
    body += AdminHtml::banner(notice, error);
    body += QStringLiteral("<section class=\"card settings\" aria-labelledby=\"settings-title\">"
                           "<h2 id=\"settings-title\">Screenshots and data</h2>"
                           "<form method=\"post\" action=\"%1\">%2"
                           "<fieldset><legend>Screenshots</legend>"
                           "<label class=\"choice\"><input type=\"radio\" name=\"screenshots\" value=\"on\"%3> On: the"
                           " desktop apps take screenshots while the timer runs</label>"
                           "<label class=\"choice\"><input type=\"radio\" name=\"screenshots\" value=\"off\"%4> Off: no"
                           " screenshots are taken or accepted</label></fieldset>")
                .arg(path, WebFrame::csrfField(viewer), screenshots ? QStringLiteral(" checked") : QString(),
                     screenshots ? QString() : QStringLiteral(" checked"));
    body += AdminHtml::input(QStringLiteral("Screenshot interval (minutes)"), QStringLiteral("screenshot_interval"),
                             interval, QStringLiteral("type=\"number\" min=\"1\" max=\"1440\" step=\"1\" required"),
                             QStringLiteral("Minutes between screenshots, from 1 to 1440."));
    body += AdminHtml::input(QStringLiteral("Keep screenshots and activity for (days)"), QStringLiteral("retention_days"),
                             retention, QStringLiteral("type=\"number\" min=\"1\" max=\"3650\" step=\"1\""),
                             QStringLiteral("From 1 to 3650; empty keeps everything. Older screenshots, activity and"
                                            " application records are deleted by zimbrel-server purge; time entries"
                                            " are always kept."));
    body += QStringLiteral("<button class=\"btn btn-brand\" type=\"submit\">Save settings</button></form></section>");
    WebFrame::send(res, status, QStringLiteral("Settings"), body, &viewer, QStringLiteral("settings"));
}

void SettingsPage::save(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res)
{
    const QString shots = formValue(req, QStringLiteral("screenshots"));
    const QString interval = formValue(req, QStringLiteral("screenshot_interval"));
    const QString retention = formValue(req, QStringLiteral("retention_days"));
    if (shots != QLatin1String("on") && shots != QLatin1String("off"))
        return send(res, viewer, 400, {}, QStringLiteral("Choose whether screenshots are on or off."),
                    m_store.workspaceSettings().screenshots, interval, retention);
    const auto done = m_admin.setSettings(WorkspaceAdmin::Actor::of(viewer.member), shots == QLatin1String("on"),
                                          interval, retention);
    if (!done.ok())
        return send(res, viewer, 400, {}, done.error, shots == QLatin1String("on"), interval, retention);
    AdminHtml::done(res, path, QStringLiteral("saved"));
}
