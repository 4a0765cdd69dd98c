#include "HttpRouter.h"

#include <cstring>

namespace {

// Reads from the gathered request, writes into the answer. A "100 Continue"
// the loop has already sent is not repeated.
class BufferStream : public httplib::Stream {
public:
    explicit BufferStream(HttpLoop::Exchange &exchange)
        : m_exchange(exchange)
    {
    }
    bool is_readable() const override { return m_read < m_exchange.request.size(); }
    bool is_writable() const override { return true; }
    ssize_t read(char *ptr, size_t size) override
    {
        const size_t n = std::min(size, m_exchange.request.size() - m_read);
        std::memcpy(ptr, m_exchange.request.data() + m_read, n);
        m_read += n;
        return ssize_t(n);
    }
    ssize_t write(const char *ptr, size_t size) override
    {
        static constexpr std::string_view interim = "HTTP/1.1 100 ";
        if (m_exchange.response.empty() && std::string_view(ptr, size).substr(0, interim.size()) == interim)
            return ssize_t(size);
        m_exchange.response.append(ptr, size);
        return ssize_t(size);
    }
    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        ip = m_exchange.peerAddress;
        port = m_exchange.peerPort;
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

private:
    HttpLoop::Exchange &m_exchange;
    size_t m_read = 0;
};

bool asksToClose(const std::string &response)
{
    const size_t end = response.find("\r\n\r\n");
    std::string head = response.substr(0, end);
    for (char &ch : head)
        ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return head.find("\r\nconnection: close\r\n") != std::string::npos
        || (head.size() >= 19 && head.compare(head.size() - 19, 19, "\r\nconnection: close") == 0);
}

} // namespace

void HttpRouter::answer(HttpLoop::Exchange &exchange)
{
    BufferStream stream(exchange);
    bool closed = false;
    const bool good = process_request(stream, exchange.forceClose, closed, nullptr);
    exchange.close = exchange.forceClose || closed || !good || asksToClose(exchange.response);
}
