// How many heavy requests (expansions) serve answers at once: RequestSlots counts them, and a
// request waits a bounded time for a slot, behind at most as many waiting as there are slots;
// SlotHold holds one until it goes out of scope.
#ifndef SQL2JSON_TOOLS_SERVE_REQUEST_SLOTS_HPP
#define SQL2JSON_TOOLS_SERVE_REQUEST_SLOTS_HPP

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

// A number of slots; a request takes one for as long as it holds a SlotHold. At most as many
// requests wait as there are slots: a flood of heavy requests is refused at once, instead of
// keeping every thread waiting while lighter requests queue behind them.
class RequestSlots {
  public:
    explicit RequestSlots(std::size_t count) : count_(count), free_(count) {}

    // Takes a slot, waiting at most wait for one to be freed; false at once when none is free
    // and count requests wait already. Returns whether it took one.
    bool acquire(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (free_ == 0 && waiting_ >= count_) return false;
        ++waiting_;
        const bool freed = freed_.wait_for(lock, wait, [this] { return free_ > 0; });
        --waiting_;
        if (!freed) return false;
        --free_;
        return true;
    }

    // Requests waiting for a slot now.
    std::size_t waiting() {
        std::lock_guard<std::mutex> lock(mutex_);
        return waiting_;
    }

    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++free_;
        }
        freed_.notify_one();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    const std::size_t count_;
    std::size_t free_;
    std::size_t waiting_ = 0;
};

// A slot of slots taken (or not, when none was freed in time); released when it goes.
class SlotHold {
  public:
    SlotHold(RequestSlots& slots, std::chrono::milliseconds wait)
        : slots_(slots), held_(slots.acquire(wait)) {}
    ~SlotHold() {
        if (held_) slots_.release();
    }
    SlotHold(const SlotHold&) = delete;
    SlotHold& operator=(const SlotHold&) = delete;
    bool held() const { return held_; }

  private:
    RequestSlots& slots_;
    bool held_;
};

#endif
