#include "AdminPages.h"

#include "WebFrame.h"

#include <httplib.h>

AdminPages::AdminPages(Store &store)
    : m_session(store)
    , m_admin(store)
    , m_members(store, m_admin)
    , m_projects(store, m_admin)
    , m_settings(store, m_admin)
    , m_audit(m_admin)
{
}

void AdminPages::install(httplib::Server &server)
{
    const AdminHtml::Gate gate = [this](AdminHtml::Handler handler, bool post) { return this->gate(std::move(handler), post); };
    server.Get("/web/admin", [](const httplib::Request &, httplib::Response &res) {
        WebFrame::redirect(res, QStringLiteral("/web/admin/members"));
    });
    m_members.install(server, gate);
    m_projects.install(server, gate);
    m_settings.install(server, gate);
    m_audit.install(server, gate);
}

std::function<void(const httplib::Request &, httplib::Response &)> AdminPages::gate(AdminHtml::Handler handler, bool post)
{
    return WebFrame::guarded([this, handler = std::move(handler), post](const httplib::Request &req, httplib::Response &res) {
        const auto viewer = post ? m_session.poster(req) : m_session.viewer(req);
        if (!viewer)
            return post ? WebFrame::refuseForm(res) : WebFrame::toSignIn(res);
        if (!viewer->runsWorkspace())
            return WebFrame::refuse(res, 403, QStringLiteral("Only the workspace's owners and admins can open this page."),
                                    &*viewer);
        handler(*viewer, req, res);
    });
}
