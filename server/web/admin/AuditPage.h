#pragma once

#include "AdminHtml.h"
#include "WorkspaceAdmin.h"

namespace httplib {
class Server;
}

// The audit log, newest first, a page at a time: who changed what in the
// workspace and when (in the viewer's time zone).
class AuditPage {
public:
    explicit AuditPage(WorkspaceAdmin &admin);
    void install(httplib::Server &server, const AdminHtml::Gate &gate);

    static constexpr int rowsPerPage = 50;

private:
    void show(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);

    WorkspaceAdmin &m_admin;
};
