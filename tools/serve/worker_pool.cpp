// serve's worker threads (worker_pool.hpp): exports WorkerPool.
#ifdef SQL2JSON_HAVE_HTTPLIB

#include "serve/worker_pool.hpp"

#include <utility>

namespace {

thread_local std::chrono::milliseconds tWaitOfCurrentJob{0};

} // namespace

WorkerPool::WorkerPool(std::size_t threads) {
    threads_.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() { shutdown(); }

void WorkerPool::enqueue(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(Job{std::move(fn), std::chrono::steady_clock::now()});
    }
    ready_.notify_one();
}

void WorkerPool::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

std::size_t WorkerPool::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

std::chrono::milliseconds WorkerPool::waitOfCurrentJob() { return tWaitOfCurrentJob; }

// One thread's loop: takes the oldest job, runs it, until the pool stops and no job is left.
void WorkerPool::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        tWaitOfCurrentJob = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - job.queuedAt);
        try {
            job.run();
        } catch (...) {
            // A job answers its own failures; one that still throws ends without its answer.
        }
        tWaitOfCurrentJob = std::chrono::milliseconds{0};
    }
}

#endif
