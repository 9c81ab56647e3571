// serve's HTTP connections (http_connection.hpp): exports requestBeingAnswered and
// ConnectionServer::process_and_close_socket.
//
// httplib's own connection loop reads each request through a stream whose read-ahead buffer
// it drops after the answer (a pipelined request is lost with it) and leaves the body of a
// request it routes to a handler unread (it is then taken for the next request). Here one
// buffer lives as long as the connection: RequestFramer says where each request ends, httplib
// parses exactly those bytes from a stream of their own and writes its answer to the socket,
// and the buffer keeps whatever follows them.
#ifdef SQL2JSON_HAVE_HTTPLIB

#include "serve/http_connection.hpp"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

#include "serve/request_framing.hpp"
#include "serve/worker_pool.hpp"

namespace {

constexpr long long kWaitSliceMs = 100; // how often a wait for input looks for the server's stop
constexpr long long kMaxWaitMs = 3600LL * 1000;
// How long a connection idle between requests keeps its thread while other connections wait.
constexpr std::chrono::milliseconds kYieldAfter{200};
constexpr std::size_t kReadChunk = 4096;
// What a refused request may still send, read and dropped before the connection closes, so
// that closing with unread input does not reset the connection before the client reads.
constexpr std::size_t kMaxDrainBytes = std::size_t{1024} * 1024;
const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
const char kCrlf[] = "\r\n";

thread_local ReadRequest tBeingAnswered;

// What a connection may take: requests, and milliseconds of waiting for input and output.
struct ConnectionLimits {
    std::size_t maxRequests = 0;
    int idleMs = 0;  // for the first byte of the next request
    int readMs = 0;  // for the rest of a request
    int writeMs = 0; // for room to write the answer
};

// A timeout of seconds and microseconds in milliseconds, within [0, kMaxWaitMs].
int toMilliseconds(time_t sec, time_t usec) {
    const long long ms = static_cast<long long>(sec) * 1000 + static_cast<long long>(usec) / 1000;
    return static_cast<int>(std::min(std::max(ms, 0LL), kMaxWaitMs));
}

// Waits up to timeoutMs for events on sock. The wait ends early, false, once giveUp (looked at
// every kWaitSliceMs) says so. Returns whether sock is ready.
bool waitFor(socket_t sock, short events, int timeoutMs, const std::function<bool()>& giveUp) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (giveUp && giveUp()) return false;
        const auto left = static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        pollfd ready{sock, events, 0};
        const int slice = static_cast<int>(std::min(std::max(left, 0LL), kWaitSliceMs));
        const int rc = poll(&ready, 1, slice);
        if (rc > 0) return true;
        if ((rc < 0 && errno != EINTR) || left <= 0) return false;
    }
}

// The numeric address and port of the peer's end of sock, or of its own end.
void socketAddress(socket_t sock, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    const int rc = peer ? getpeername(sock, raw, &length) : getsockname(sock, raw, &length);
    char host[NI_MAXHOST] = "";
    char service[NI_MAXSERV] = "";
    if (rc != 0 || getnameinfo(raw, length, host, sizeof host, service, sizeof service,
                               NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return;
    }
    ip = host;
    port = static_cast<int>(std::strtol(service, nullptr, 10));
}

// Shuts down and closes the connection's socket when the connection ends, however it ends.
struct SocketCloser {
    socket_t sock;
    SocketCloser(const SocketCloser&) = delete;
    SocketCloser& operator=(const SocketCloser&) = delete;
    ~SocketCloser() {
        shutdown(sock, SHUT_RDWR);
        close(sock);
    }
};

// One accepted connection: its socket, the server's listening socket (closed when the server
// stops), the pool serving it (or null), its limits and its two addresses.
class Connection {
  public:
    Connection(socket_t sock, const std::atomic<socket_t>& listener, const WorkerPool* pool,
               ConnectionLimits limits)
        : sock_(sock), listener_(listener), pool_(pool), limits_(limits) {
        socketAddress(sock, true, peerIp_, peerPort_);
        socketAddress(sock, false, localIp_, localPort_);
    }

    socket_t socket() const { return sock_; }
    const ConnectionLimits& limits() const { return limits_; }
    bool serving() const { return listener_.load() != INVALID_SOCKET; }

    void peer(std::string& ip, int& port) const {
        ip = peerIp_;
        port = peerPort_;
    }
    void local(std::string& ip, int& port) const {
        ip = localIp_;
        port = localPort_;
    }

    // Waits up to timeoutMs for input and appends what arrived to input. False at the end of
    // the input, on a failure or timeout, or when the server stops; between requests (idle),
    // also once other connections have waited kYieldAfter for a thread.
    bool receive(std::string& input, int timeoutMs, bool idle = false) {
        const auto since = std::chrono::steady_clock::now();
        const std::function<bool()> giveUp = [this, idle, since] {
            if (!serving()) return true;
            return idle && pool_ != nullptr && pool_->waiting() > 0 &&
                   std::chrono::steady_clock::now() - since >= kYieldAfter;
        };
        if (!waitFor(sock_, POLLIN, timeoutMs, giveUp)) return false;
        char chunk[kReadChunk];
        ssize_t count = 0;
        do {
            count = recv(sock_, chunk, sizeof chunk, 0);
        } while (count < 0 && errno == EINTR);
        if (count <= 0) return false;
        input.append(chunk, static_cast<std::size_t>(count));
        return true;
    }

    bool writable() const { return waitFor(sock_, POLLOUT, limits_.writeMs, {}); }

    // Writes all size bytes of data. False when the peer is gone or takes none in time.
    bool writeAll(const char* data, std::size_t size) {
        for (std::size_t sent = 0; sent < size;) {
            if (!writable()) return false;
            const ssize_t count = send(sock_, data + sent, size - sent, MSG_NOSIGNAL);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return false;
            sent += static_cast<std::size_t>(count);
        }
        return true;
    }

    // Ends the output and reads and drops input until the client closes, stops sending for the
    // read timeout, or has sent kMaxDrainBytes, so that the client reads the last answer.
    void drainInput() {
        shutdown(sock_, SHUT_WR);
        std::string dropped;
        for (std::size_t total = 0; total < kMaxDrainBytes; total += dropped.size()) {
            dropped.clear();
            if (!receive(dropped, limits_.readMs)) return;
        }
    }

  private:
    socket_t sock_;
    const std::atomic<socket_t>& listener_;
    const WorkerPool* pool_;
    ConnectionLimits limits_;
    std::string peerIp_;
    int peerPort_ = 0;
    std::string localIp_;
    int localPort_ = 0;
};

// What httplib reads and writes for one request: that request's bytes, then the end of input;
// its answer goes to the connection's socket.
class RequestStream final : public httplib::Stream {
  public:
    RequestStream(Connection& connection, const std::string& bytes)
        : connection_(connection), bytes_(bytes) {}

    bool is_readable() const override { return position_ < bytes_.size(); }
    bool is_writable() const override { return connection_.writable(); }

    ssize_t read(char* ptr, size_t size) override {
        const std::size_t count = std::min(size, bytes_.size() - position_);
        if (count > 0) std::memcpy(ptr, bytes_.data() + position_, count);
        position_ += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        const auto most = static_cast<std::size_t>(std::numeric_limits<ssize_t>::max());
        const std::size_t count = std::min(size, most);
        return connection_.writeAll(ptr, count) ? static_cast<ssize_t>(count) : -1;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        connection_.peer(ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        connection_.local(ip, port);
    }
    socket_t socket() const override { return connection_.socket(); }

  private:
    Connection& connection_;
    const std::string& bytes_;
    std::size_t position_ = 0;
};

// Parses and answers one request from stream: httplib's process_request. closeConnection
// makes the answer the connection's last; connectionClosed is set when the request asks so.
// Returns false when the answer could not be written.
using AnswerRequest =
    std::function<bool(httplib::Stream& stream, bool closeConnection, bool& connectionClosed)>;

// Drops the empty lines a client may send before a request line. Returns whether there were.
bool dropLeadingEmptyLines(std::string& input) {
    std::size_t count = 0;
    while (input.compare(count, 2, kCrlf) == 0)
        count += 2;
    input.erase(0, count);
    return count > 0;
}

// Reads into input until framer holds a whole or refused request, sending 100 (Continue) once
// when the request waits for it; first: no request came before it on the connection. Returns
// false when the connection ends first.
bool receiveRequest(Connection& connection, std::string& input, RequestFramer& framer, bool first) {
    bool continueSent = false;
    for (;;) {
        if (dropLeadingEmptyLines(input)) framer = RequestFramer();
        const RequestFrame& frame = framer.update(input);
        if (frame.state != FrameState::Incomplete) return true;
        if (frame.expectsContinue && !continueSent) {
            if (!connection.writeAll(kContinue, sizeof kContinue - 1)) return false;
            continueSent = true;
        }
        const ConnectionLimits& limits = connection.limits();
        const bool idle = input.empty();
        if (!connection.receive(input, idle ? limits.idleMs : limits.readMs, idle && !first))
            return false;
    }
}

// Answers the requests on connection one after another until it ends: the client closes or
// asks to, a request is refused, the request limit is reached, or the server stops. overdue:
// the connection waited too long for its thread, and ends after its first answer.
void serveConnection(Connection& connection, const AnswerRequest& answer, bool overdue) {
    std::string input;
    const std::size_t maxRequests = overdue ? 1 : connection.limits().maxRequests;
    for (std::size_t served = 0; served < maxRequests && connection.serving(); ++served) {
        RequestFramer framer;
        if (!receiveRequest(connection, input, framer, served == 0)) return;
        const RequestFrame& frame = framer.frame();
        const bool refused = frame.state == FrameState::Refused;
        const bool limitReached = served + 1 == maxRequests;
        tBeingAnswered = ReadRequest{frame.method, frame.refusal, overdue};
        RequestStream stream(connection, frame.forParser);
        bool clientClosing = false;
        const bool answered = answer(stream, refused || limitReached, clientClosing);
        tBeingAnswered = ReadRequest{};
        // The service ends the connection while the client may still be sending: a refused
        // body, or requests pipelined past the limit.
        if (answered && (refused || (limitReached && !clientClosing))) connection.drainInput();
        if (!answered || refused || limitReached || clientClosing) return;
        input.erase(0, frame.end);
    }
}

} // namespace

const ReadRequest& requestBeingAnswered() { return tBeingAnswered; }

ConnectionServer::ConnectionServer(std::size_t workers, std::chrono::milliseconds maxWait)
    : maxWait_(maxWait) {
    new_task_queue = [this, workers]() -> httplib::TaskQueue* {
        auto* pool = new WorkerPool(workers);
        pool_ = pool;
        return pool;
    };
}

bool ConnectionServer::process_and_close_socket(socket_t sock) {
    const SocketCloser closer{sock};
    try {
        ConnectionLimits limits;
        limits.maxRequests = keep_alive_max_count_;
        limits.idleMs = toMilliseconds(keep_alive_timeout_sec_, 0);
        limits.readMs = toMilliseconds(read_timeout_sec_, read_timeout_usec_);
        limits.writeMs = toMilliseconds(write_timeout_sec_, write_timeout_usec_);
        Connection connection(sock, svr_sock_, pool_.load(), limits);
        const bool overdue = WorkerPool::waitOfCurrentJob() > maxWait_;
        // Runs after httplib parsed the request, before the handlers: the method as sent, and
        // no Expect, which the connection has answered (httplib would send 100 once more).
        const std::function<void(httplib::Request&)> restore = [](httplib::Request& req) {
            if (!tBeingAnswered.method.empty()) req.method = tBeingAnswered.method;
            req.headers.erase("Expect");
        };
        serveConnection(
            connection,
            [this, &restore](httplib::Stream& stream, bool closeConnection,
                             bool& connectionClosed) {
                return process_request(stream, closeConnection, connectionClosed, restore);
            },
            overdue);
    } catch (...) {
        // Out of memory, say: the connection ends unanswered, the service goes on.
        tBeingAnswered = ReadRequest{};
    }
    return true;
}

#endif
