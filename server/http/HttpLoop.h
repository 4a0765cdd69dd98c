#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

// The server's connections on one epoll thread. A connection costs no worker
// while it connects, sends slowly, or idles between requests: the loop
// gathers a whole request (headers and body) under a total deadline, and only
// then gives it to one of a few worker threads, which answer it and write the
// answer. Connections per client address are capped, the listen backlog takes
// bursts, and kept-alive connections wait long between requests.
class HttpLoop {
public:
    struct Options {
        int workers = 4;
        int backlog = 4096;
        // Open connections one address may hold; trusted proxies are exempt.
        int connectionsPerAddress = 64;
        int maxConnections = 16000;
        // From a request's first byte (or the connection's start) to its
        // last, headers and body together.
        int requestTimeoutMs = 30000;
        // Between requests on a kept-alive connection.
        int idleTimeoutMs = 120000;
        int writeTimeoutMs = 30000;
        std::size_t headerMax = 64 * 1024;
        std::size_t bodyMax = 8 * 1024 * 1024;
        // The largest body accepted for a request path; a larger one is
        // answered (by the handler, with the connection then closed) without
        // being read.
        std::function<std::size_t(std::string_view path)> bodyLimit;
        // Written to a connection refused for the per-address cap.
        std::string refusal = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    };

    // One whole request as received, and the answer the handler writes.
    struct Exchange {
        std::string_view request;
        std::string peerAddress;
        int peerPort = 0;
        bool forceClose = false; // framing was refused: answer, then close
        std::string response;
        bool close = false;      // set by the handler
    };
    using Handler = std::function<void(Exchange &)>;
    // True when connections from this peer address are not capped.
    using Exempt = std::function<bool(const std::string &)>;

    HttpLoop(Options options, Handler handler, Exempt exempt = {});
    ~HttpLoop();
    HttpLoop(const HttpLoop &) = delete;
    HttpLoop &operator=(const HttpLoop &) = delete;

    // Serve HTTPS with these PEM files: TLS 1.2 with forward-secret AEAD
    // suites, or TLS 1.3. False when they cannot be loaded.
    bool useTls(const std::string &certificate, const std::string &key);

    // Binds the address; port 0 picks a free one. The bound port, or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); blocks. Safe to call stop() before run().
    void run();
    void stop();

private:
    struct Connection;
    using Ptr = std::shared_ptr<Connection>;

    void accept();
    void onEvent(std::uint64_t id, std::uint32_t events);
    bool readAvailable(Connection &c);
    // Length of the first whole request in the buffer, 0 when more is
    // needed; sets forceClose when the framing is refused.
    std::size_t frame(Connection &c, bool &forceClose, bool &sendContinue);
    void dispatch(const Ptr &c);
    void serve(const Ptr &c);
    // Writes what is pending; false when the socket is full for now.
    bool flush(Connection &c, bool &failed);
    void arm(Connection &c, std::uint32_t events);
    void close(const Ptr &c);
    void sweep();
    void post(std::function<void()> job);
    void work();

    Options m_options;
    Handler m_handler;
    Exempt m_exempt;
    SSL_CTX *m_tls = nullptr;
    int m_listen = -1, m_epoll = -1, m_wake = -1;
    std::atomic<bool> m_stopping{false};
    bool m_acceptPaused = false;

    std::mutex m_lock; // the two maps below
    std::unordered_map<std::uint64_t, Ptr> m_connections;
    std::unordered_map<std::string, int> m_perAddress;
    std::uint64_t m_nextId = 1;

    std::mutex m_jobsLock;
    std::condition_variable m_jobsReady;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_workers;
};
