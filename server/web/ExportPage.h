#pragma once

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class Store;
class WebSession;

// CSV exports of closed entries: GET /web/export (the forms) and
// GET /web/export.csv?from=…&to=… with member=<id>, project=<id> or team=1.
// Dates are calendar days in each member's own time zone, at most a year
// apart. Members export their own time; owners, admins and managers anyone's,
// a project's and the team's. Cells a spreadsheet would run as a formula are
// written as text.
class ExportPage {
public:
    ExportPage(Store &store, WebSession &session);
    void install(httplib::Server &server);

private:
    void form(const httplib::Request &req, httplib::Response &res);
    void csv(const httplib::Request &req, httplib::Response &res);

    Store &m_store;
    WebSession &m_session;
};
