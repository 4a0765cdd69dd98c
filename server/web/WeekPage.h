#pragma once

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class Store;
class WebSession;

// The team's week: GET /web/week?date=yyyy-MM-dd (any day of the week;
// today by default), members down and days across with hours, activity and
// entries needing review, the team's totals and the week's projects.
// Owners, admins and managers only.
class WeekPage {
public:
    WeekPage(Store &store, WebSession &session);
    void install(httplib::Server &server);

private:
    void week(const httplib::Request &req, httplib::Response &res);

    Store &m_store;
    WebSession &m_session;
};
