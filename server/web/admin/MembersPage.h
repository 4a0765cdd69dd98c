#pragma once

#include "AdminHtml.h"
#include "WorkspaceAdmin.h"

namespace httplib {
class Server;
}

// The workspace's members: the list, inviting one with a first password, and
// a page per member to change their role and time zone, set a new password,
// sign them out everywhere, disable or enable them.
class MembersPage {
public:
    MembersPage(Store &store, WorkspaceAdmin &admin);
    void install(httplib::Server &server, const AdminHtml::Gate &gate);

private:
    void list(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void invite(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void member(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void change(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);

    void showList(httplib::Response &res, const WebSession::Viewer &viewer, int status, const QString &notice,
                  const QString &error, const WorkspaceAdmin::Invite &kept);
    void showMember(httplib::Response &res, const WebSession::Viewer &viewer, const Store::Member &member, int status,
                    const QString &notice, const QString &error);

    Store &m_store;
    WorkspaceAdmin &m_admin;
};
