// The threads that serve connections, one connection each: WorkerPool knows how long the
// connection a thread serves waited for it, and how many still wait.
#ifndef SQL2JSON_TOOLS_SERVE_WORKER_POOL_HPP
#define SQL2JSON_TOOLS_SERVE_WORKER_POOL_HPP

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

// httplib's task queue as serve wants it: a fixed number of threads, jobs taken in order, and
// for each job the time it waited. A job that throws ends, its thread goes on.
class WorkerPool final : public httplib::TaskQueue {
  public:
    explicit WorkerPool(std::size_t threads);
    ~WorkerPool() override; // shuts down when shutdown was not called
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void enqueue(std::function<void()> fn) override;
    // Runs the jobs already queued, then ends the threads; returns when they ended.
    void shutdown() override;
    // Jobs queued and not yet begun.
    std::size_t waiting() const;
    // How long the job the calling thread runs waited before it began; zero off the pool.
    static std::chrono::milliseconds waitOfCurrentJob();

  private:
    struct Job {
        std::function<void()> run;
        std::chrono::steady_clock::time_point queuedAt;
    };
    void work();

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

#endif
