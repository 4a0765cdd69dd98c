#pragma once

#include "HttpLoop.h"

#include <httplib.h>

// cpp-httplib's request parsing, routing, multipart reading and answer
// writing, over a request the HttpLoop has gathered whole: handlers are
// registered as on any httplib::Server, but it never listens itself.
class HttpRouter : public httplib::Server {
public:
    // Answers the request in `exchange`; sets `exchange.close` when the
    // connection must end after the answer.
    void answer(HttpLoop::Exchange &exchange);
};
