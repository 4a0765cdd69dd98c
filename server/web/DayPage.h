#pragma once

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class BlobStore;
class Store;
class WebSession;

// A member's day: GET /web/day?date=yyyy-MM-dd&member=<id> (the timeline of
// entries, activity per ten minutes as a strip, applications, screenshots on
// the timeline), GET /web/shot/<id> (one screenshot in full with its time,
// activity and application) and GET /web/screenshots/<id> (the JPEG).
// Members see their own days; owners, admins and managers anyone's. Another
// member's screenshot reads as missing.
class DayPage {
public:
    DayPage(Store &store, BlobStore &blobs, WebSession &session);
    void install(httplib::Server &server);

private:
    void day(const httplib::Request &req, httplib::Response &res);
    void shot(const httplib::Request &req, httplib::Response &res);
    void image(const httplib::Request &req, httplib::Response &res);

    Store &m_store;
    BlobStore &m_blobs;
    WebSession &m_session;
};
