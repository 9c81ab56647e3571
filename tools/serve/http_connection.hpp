// serve's HTTP connections: httplib parses each request and writes each answer, but the
// connection reads its own input, so that every request on it is answered, in order, pipelined
// or not, and a request's body is read and dropped, never taken for the next request.
//
//   ConnectionServer       an httplib::Server whose connections read their input themselves
//   ReadRequest            what the connection read of the request being answered
//   requestBeingAnswered   that, for the request the calling thread answers
// Connections are served by a WorkerPool (worker_pool.hpp) of a set number of threads.
#ifndef SQL2JSON_TOOLS_SERVE_HTTP_CONNECTION_HPP
#define SQL2JSON_TOOLS_SERVE_HTTP_CONNECTION_HPP

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include <httplib.h>

class WorkerPool;

// What the connection read of a request before httplib parsed it.
struct ReadRequest {
    std::string method; // the request line's method as sent, "" when it has none
    int refusal = 0;    // 400, 413 or 431 when the request could not be read whole, else 0
    // The connection waited longer for a worker than the server allows: this request, its
    // first, is to be refused as busy, and is the connection's last.
    bool overdue = false;
};

// The request the calling thread is answering: valid in the server's handlers and logger.
const ReadRequest& requestBeingAnswered();

// An httplib::Server serving each connection with its own keep-alive loop over one input buffer
// kept across requests: at most keep_alive_max_count requests, each read whole (head, then
// body) before httplib parses it, waiting at most the keep-alive timeout for the next request
// and the read timeout for the rest of one. A request that cannot be read whole (refusal) is
// still answered, from its head, and ends the connection; so does a request httplib answers
// with "Connection: close". A token method httplib does not parse reaches the handlers with
// req.method as sent. "Expect: 100-continue" is answered by the connection itself when it waits
// for the body, and removed from the request.
//
// The connections are served by `workers` threads, in the order they were accepted. One that
// waited longer than maxWait for its thread has its first request answered as overdue, and
// ends. While connections wait, a connection idle between requests for a moment ends, so that
// idle clients do not keep the threads from those waiting.
class ConnectionServer : public httplib::Server {
  public:
    ConnectionServer(std::size_t workers, std::chrono::milliseconds maxWait);

  private:
    // Serves the connection on sock until it ends, then closes sock. Never throws.
    bool process_and_close_socket(socket_t sock) override;

    std::chrono::milliseconds maxWait_;
    std::atomic<const WorkerPool*> pool_{nullptr}; // the pool while the server listens
};

#endif
