// How many heavy requests (expansions) serve answers at once: RequestSlots counts them, and a
// request waits a bounded time for a slot; SlotHold holds one until it goes out of scope.
#ifndef SQL2JSON_TOOLS_SERVE_REQUEST_SLOTS_HPP
#define SQL2JSON_TOOLS_SERVE_REQUEST_SLOTS_HPP

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

// A number of slots; a request takes one for as long as it holds a SlotHold.
class RequestSlots {
  public:
    explicit RequestSlots(std::size_t count) : free_(count) {}
    // Takes a slot, waiting at most wait for one to be freed. Returns whether it took one.
    bool acquire(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!freed_.wait_for(lock, wait, [this] { return free_ > 0; })) return false;
        --free_;
        return true;
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
    std::size_t free_;
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
