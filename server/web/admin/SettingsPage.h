#pragma once

#include "AdminHtml.h"
#include "WorkspaceAdmin.h"

namespace httplib {
class Server;
}

// The workspace settings the desktop apps follow: screenshots on or off and
// their interval, and how long screenshots and activity are kept.
class SettingsPage {
public:
    SettingsPage(Store &store, WorkspaceAdmin &admin);
    void install(httplib::Server &server, const AdminHtml::Gate &gate);

private:
    void show(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void save(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void send(httplib::Response &res, const WebSession::Viewer &viewer, int status, const QString &notice,
              const QString &error, bool screenshots, const QString &interval, const QString &retention);

    Store &m_store;
    WorkspaceAdmin &m_admin;
};
