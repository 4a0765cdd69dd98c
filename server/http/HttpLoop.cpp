#include "HttpLoop.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string peerText(const sockaddr_storage &sa, int &port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (sa.ss_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(&sa);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (sa.ss_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&sa);
        port = ntohs(in6->sin6_port);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
            inet_ntop(AF_INET, &in6->sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace

struct HttpLoop::Connection {
    std::uint64_t id = 0;
    int fd = -1;
    SSL *ssl = nullptr;
    std::string peer;
    int port = 0;
    std::string in, out;
    std::size_t outPos = 0;
    std::size_t pending = 0;    // length of the whole request at the front of `in`
    bool pendingClose = false;
    bool continued = false;     // "100 Continue" sent for the request in `in`
    bool writing = false;
    bool closeAfter = false;
    bool idle = false;          // between requests, nothing of the next one yet
    bool tlsWantsWrite = false;
    bool ended = false;         // the client has shut down its sending side
    std::atomic<bool> busy{false};
    std::atomic<std::int64_t> deadline{0};
};

HttpLoop::HttpLoop(Options options, Handler handler, Exempt exempt)
    : m_options(std::move(options))
    , m_handler(std::move(handler))
    , m_exempt(std::move(exempt))
{
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &ev);
}

HttpLoop::~HttpLoop()
{
    stop();
    for (auto &[id, c] : m_connections) {
        if (c->ssl)
            SSL_free(c->ssl);
        ::close(c->fd);
    }
    if (m_listen >= 0)
        ::close(m_listen);
    ::close(m_wake);
    ::close(m_epoll);
    if (m_tls)
        SSL_CTX_free(m_tls);
}

bool HttpLoop::useTls(const std::string &certificate, const std::string &key)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx)
        return false;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // TLS 1.2: ephemeral key exchange and AEAD ciphers only. TLS 1.3 has
    // nothing else.
    const bool good =
        SSL_CTX_set_cipher_list(ctx, "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                     "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                     "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305") == 1
        && SSL_CTX_use_certificate_chain_file(ctx, certificate.c_str()) == 1
        && SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) == 1
        && SSL_CTX_check_private_key(ctx) == 1;
    if (!good) {
        ERR_clear_error();
        SSL_CTX_free(ctx);
        return false;
    }
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (m_tls)
        SSL_CTX_free(m_tls);
    m_tls = ctx;
    return true;
}

int HttpLoop::bind(const std::string &host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, m_options.backlog) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0)
        return -1;
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    int bound = -1;
    peerText(sa, bound);
    m_listen = fd;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = ~std::uint64_t(0);
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &ev);
    return bound;
}

void HttpLoop::stop()
{
    m_stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(m_wake, &one, sizeof one);
}

void HttpLoop::run()
{
    for (int i = 0; i < std::max(1, m_options.workers); ++i)
        m_workers.emplace_back([this] { work(); });
    std::vector<epoll_event> events(256);
    std::int64_t nextSweep = nowMs() + 250;
    while (!m_stopping) {
        const int n = epoll_wait(m_epoll, events.data(), int(events.size()), 250);
        for (int i = 0; i < n && !m_stopping; ++i) {
            const std::uint64_t id = events[i].data.u64;
            if (id == 0)
                continue; // woken by stop()
            if (id == ~std::uint64_t(0))
                accept();
            else
                onEvent(id, events[i].events);
        }
        if (nowMs() >= nextSweep) {
            sweep();
            nextSweep = nowMs() + 250;
        }
    }
    {
        std::lock_guard lock(m_jobsLock);
        m_jobs.clear();
    }
    m_jobsReady.notify_all();
    for (std::thread &t : m_workers)
        t.join();
    m_workers.clear();
}

void HttpLoop::accept()
{
    for (;;) {
        sockaddr_storage sa{};
        socklen_t len = sizeof sa;
        const int fd = accept4(m_listen, reinterpret_cast<sockaddr *>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop taking connections until some close
                // (the sweep takes them up again), instead of spinning.
                epoll_event ev{};
                ev.data.u64 = ~std::uint64_t(0);
                epoll_ctl(m_epoll, EPOLL_CTL_MOD, m_listen, &ev);
                m_acceptPaused = true;
            }
            return;
        }
        auto c = std::make_shared<Connection>();
        c->fd = fd;
        c->peer = peerText(sa, c->port);
        const bool exempt = m_exempt && m_exempt(c->peer);
        bool refused = false;
        {
            std::lock_guard lock(m_lock);
            int &count = m_perAddress[c->peer];
            if (int(m_connections.size()) >= m_options.maxConnections
                || (!exempt && count >= m_options.connectionsPerAddress)) {
                refused = true;
                if (count == 0)
                    m_perAddress.erase(c->peer);
            } else {
                ++count;
                c->id = m_nextId++;
                m_connections.emplace(c->id, c);
            }
        }
        if (refused) {
            if (!m_tls)
                [[maybe_unused]] auto n = ::send(fd, m_options.refusal.data(), m_options.refusal.size(), MSG_NOSIGNAL);
            ::close(fd);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (m_tls) {
            c->ssl = SSL_new(m_tls);
            SSL_set_fd(c->ssl, fd);
            SSL_set_accept_state(c->ssl);
        }
        // The first request (and the TLS handshake) is due within the
        // request time-out of connecting.
        c->deadline = nowMs() + m_options.requestTimeoutMs;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLONESHOT;
        ev.data.u64 = c->id;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev);
    }
}

void HttpLoop::onEvent(std::uint64_t id, std::uint32_t)
{
    Ptr c;
    {
        std::lock_guard lock(m_lock);
        auto it = m_connections.find(id);
        if (it == m_connections.end())
            return;
        c = it->second;
    }
    if (c->writing) {
        bool failed = false;
        if (flush(*c, failed)) {
            c->writing = false;
            if (c->closeAfter) {
                close(c);
                return;
            }
            c->idle = c->in.empty();
            c->deadline = nowMs() + (c->idle ? m_options.idleTimeoutMs : m_options.requestTimeoutMs);
        } else if (failed) {
            close(c);
            return;
        } else {
            arm(*c, EPOLLOUT | (c->ssl ? std::uint32_t(EPOLLIN) : 0u));
            return;
        }
    } else if (!readAvailable(*c)) {
        close(c);
        return;
    }
    bool forceClose = false, sendContinue = false;
    const std::size_t n = frame(*c, forceClose, sendContinue);
    if (n > 0) {
        c->pending = n;
        c->pendingClose = forceClose || c->ended;
        dispatch(c);
        return;
    }
    if (c->ended) {
        close(c);
        return;
    }
    if (sendContinue) {
        // Best effort: a client that waits for it sends the body anyway
        // after a moment.
        static const char text[] = "HTTP/1.1 100 Continue\r\n\r\n";
        if (c->ssl)
            SSL_write(c->ssl, text, int(sizeof text - 1));
        else
            [[maybe_unused]] auto w = ::send(c->fd, text, sizeof text - 1, MSG_NOSIGNAL);
    }
    if (c->idle && !c->in.empty()) {
        c->idle = false;
        c->deadline = nowMs() + m_options.requestTimeoutMs;
    }
    arm(*c, EPOLLIN | (c->tlsWantsWrite ? std::uint32_t(EPOLLOUT) : 0u));
}

bool HttpLoop::readAvailable(Connection &c)
{
    char buffer[16384];
    c.tlsWantsWrite = false;
    const std::size_t most = m_options.headerMax + m_options.bodyMax + 4096;
    for (;;) {
        ssize_t n = 0;
        if (c.ssl) {
            ERR_clear_error();
            n = SSL_read(c.ssl, buffer, int(sizeof buffer));
            if (n <= 0) {
                const int e = SSL_get_error(c.ssl, int(n));
                if (e == SSL_ERROR_WANT_READ)
                    return true;
                if (e == SSL_ERROR_WANT_WRITE) {
                    c.tlsWantsWrite = true;
                    return true;
                }
                return false;
            }
        } else {
            n = recv(c.fd, buffer, sizeof buffer, 0);
            if (n == 0) {
                // A client may send its request and then shut down its side;
                // what it sent whole is still answered.
                c.ended = true;
                return !c.in.empty();
            }
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno == EAGAIN || errno == EWOULDBLOCK;
            }
        }
        c.in.append(buffer, std::size_t(n));
        if (c.in.size() > most)
            return false;
    }
}

std::size_t HttpLoop::frame(Connection &c, bool &forceClose, bool &sendContinue)
{
    // Empty lines before a request are allowed and skipped.
    std::size_t skip = 0;
    while (skip < c.in.size() && (c.in[skip] == '\r' || c.in[skip] == '\n'))
        ++skip;
    if (skip)
        c.in.erase(0, skip);
    const std::size_t end = c.in.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (c.in.size() > m_options.headerMax) {
            forceClose = true;
            return c.in.size();
        }
        return 0;
    }
    const std::size_t headerLength = end + 4;
    if (headerLength > m_options.headerMax) {
        forceClose = true;
        return headerLength;
    }
    const std::string_view head(c.in.data(), end);
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    std::string_view path = requestLine.substr(requestLine.find(' ') + 1);
    path = path.substr(0, path.find_first_of(" ?"));

    std::uint64_t length = 0;
    int lengths = 0;
    bool refused = false, expectContinue = false;
    while (lineEnd != std::string_view::npos && lineEnd < head.size()) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string_view line = head.substr(start, lineEnd == std::string_view::npos ? head.npos : lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view name = trim(line.substr(0, colon));
        const std::string_view value = trim(line.substr(colon + 1));
        if (sameText(name, "content-length")) {
            std::uint64_t v = 0;
            bool digits = !value.empty() && value.size() <= 15;
            for (char ch : value) {
                digits = digits && ch >= '0' && ch <= '9';
                v = v * 10 + std::uint64_t(ch - '0');
            }
            if (!digits || (lengths > 0 && v != length))
                refused = true;
            length = v;
            ++lengths;
        } else if (sameText(name, "transfer-encoding")) {
            refused = true;
        } else if (sameText(name, "expect")) {
            expectContinue = sameText(value, "100-continue");
        }
    }
    const std::size_t limit = m_options.bodyLimit ? m_options.bodyLimit(path) : m_options.bodyMax;
    // Refused framing (chunked, a bad or doubled length, a body over the
    // limit) goes to the handler with the headers alone, which answers it;
    // the connection then closes, since its remaining bytes cannot be framed.
    if (refused || length > limit || length > m_options.bodyMax) {
        forceClose = true;
        return headerLength;
    }
    if (c.in.size() < headerLength + length) {
        if (expectContinue && !c.continued) {
            c.continued = true;
            sendContinue = true;
        }
        return 0;
    }
    return headerLength + std::size_t(length);
}

void HttpLoop::dispatch(const Ptr &c)
{
    c->busy = true;
    post([this, c] { serve(c); });
}

void HttpLoop::serve(const Ptr &c)
{
    for (;;) {
        Exchange ex;
        ex.request = std::string_view(c->in.data(), c->pending);
        ex.peerAddress = c->peer;
        ex.peerPort = c->port;
        ex.forceClose = c->pendingClose;
        try {
            m_handler(ex);
        } catch (...) {
            ex.response = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            ex.close = true;
        }
        c->in.erase(0, c->pending);
        if (c->in.empty() && c->in.capacity() > 65536)
            std::string().swap(c->in); // an upload's buffer is not kept while idle
        c->pending = 0;
        c->continued = false;
        c->out = std::move(ex.response);
        c->outPos = 0;
        c->closeAfter = ex.close || ex.forceClose;
        bool failed = false;
        if (!flush(*c, failed)) {
            if (failed) {
                close(c);
                return;
            }
            c->writing = true;
            c->deadline = nowMs() + m_options.writeTimeoutMs;
            c->busy = false;
            arm(*c, EPOLLOUT | (c->ssl ? std::uint32_t(EPOLLIN) : 0u));
            return;
        }
        if (c->closeAfter) {
            close(c);
            return;
        }
        // A pipelined request may be here already.
        bool forceClose = false, sendContinue = false;
        const std::size_t n = frame(*c, forceClose, sendContinue);
        if (n > 0) {
            c->pending = n;
            c->pendingClose = forceClose;
            continue;
        }
        c->idle = c->in.empty();
        c->deadline = nowMs() + (c->idle ? m_options.idleTimeoutMs : m_options.requestTimeoutMs);
        c->busy = false;
        arm(*c, EPOLLIN);
        return;
    }
}

bool HttpLoop::flush(Connection &c, bool &failed)
{
    while (c.outPos < c.out.size()) {
        const std::size_t left = c.out.size() - c.outPos;
        ssize_t n = 0;
        if (c.ssl) {
            ERR_clear_error();
            n = SSL_write(c.ssl, c.out.data() + c.outPos, int(std::min<std::size_t>(left, 1 << 20)));
            if (n <= 0) {
                const int e = SSL_get_error(c.ssl, int(n));
                failed = e != SSL_ERROR_WANT_WRITE && e != SSL_ERROR_WANT_READ;
                return false;
            }
        } else {
            n = ::send(c.fd, c.out.data() + c.outPos, left, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                failed = errno != EAGAIN && errno != EWOULDBLOCK;
                return false;
            }
        }
        c.outPos += std::size_t(n);
    }
    c.out.clear();
    c.outPos = 0;
    return true;
}

void HttpLoop::arm(Connection &c, std::uint32_t events)
{
    epoll_event ev{};
    ev.events = events | EPOLLONESHOT;
    ev.data.u64 = c.id;
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, c.fd, &ev);
}

void HttpLoop::close(const Ptr &c)
{
    {
        std::lock_guard lock(m_lock);
        if (!m_connections.erase(c->id))
            return;
        auto it = m_perAddress.find(c->peer);
        if (it != m_perAddress.end() && --it->second <= 0)
            m_perAddress.erase(it);
    }
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, c->fd, nullptr);
    if (c->ssl) {
        SSL_free(c->ssl);
        c->ssl = nullptr;
    }
    ::close(c->fd);
}

void HttpLoop::sweep()
{
    const std::int64_t now = nowMs();
    std::vector<Ptr> expired;
    {
        std::lock_guard lock(m_lock);
        for (const auto &[id, c] : m_connections) {
            if (!c->busy.load(std::memory_order_acquire) && c->deadline.load() <= now)
                expired.push_back(c);
        }
    }
    for (const Ptr &c : expired)
        close(c);
    if (m_acceptPaused) {
        m_acceptPaused = false;
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = ~std::uint64_t(0);
        epoll_ctl(m_epoll, EPOLL_CTL_MOD, m_listen, &ev);
    }
}

void HttpLoop::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_jobsLock);
        m_jobs.push_back(std::move(job));
    }
    m_jobsReady.notify_one();
}

void HttpLoop::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_jobsLock);
            m_jobsReady.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}
