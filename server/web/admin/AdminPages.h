#pragma once

#include "AuditPage.h"
#include "MembersPage.h"
#include "ProjectsPage.h"
#include "SettingsPage.h"
#include "WebSession.h"
#include "WorkspaceAdmin.h"

namespace httplib {
class Server;
}

// The pages under /web/admin/ where owners and admins run the workspace:
// members, projects and tasks with their assignments, settings and the
// audit log. Everyone else gets 403; a signed-out browser goes to sign-in;
// a POST without the session's form token is refused (403). Every change
// goes through WorkspaceAdmin, which writes its audit row.
class AdminPages {
public:
    explicit AdminPages(Store &store);
    void install(httplib::Server &server);

private:
    std::function<void(const httplib::Request &, httplib::Response &)> gate(AdminHtml::Handler handler, bool post);

    WebSession m_session;
    WorkspaceAdmin m_admin;
    MembersPage m_members;
    ProjectsPage m_projects;
    SettingsPage m_settings;
    AuditPage m_audit;
};
