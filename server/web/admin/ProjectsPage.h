#pragma once

#include "AdminHtml.h"
#include "WorkspaceAdmin.h"

namespace httplib {
class Server;
}

// Projects and their tasks: adding, renaming, archiving and restoring them,
// and which members may track time on each project.
class ProjectsPage {
public:
    ProjectsPage(Store &store, WorkspaceAdmin &admin);
    void install(httplib::Server &server, const AdminHtml::Gate &gate);

private:
    void list(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void add(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void project(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void change(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);
    void changeTask(const WebSession::Viewer &viewer, const httplib::Request &req, httplib::Response &res);

    void showList(httplib::Response &res, const WebSession::Viewer &viewer, int status, const QString &notice,
                  const QString &error, const QString &keptName);
    // False when there is no such project.
    bool showProject(httplib::Response &res, const WebSession::Viewer &viewer, qint64 id, int status,
                     const QString &notice, const QString &error);

    Store &m_store;
    WorkspaceAdmin &m_admin;
};
