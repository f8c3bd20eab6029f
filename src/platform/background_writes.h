#pragma once
// Texts written to one file by a second thread, in the order they are given,
// while the caller goes on forming the next. Up to a given number of bytes
// may wait (at least one text). A failed write is kept and passed on by the
// next give() or wait(); nothing given after it is written.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/parallel.h"

namespace nimbex {

// A text to write: not cleared when made longer, since it is written over
// in full.
using WriteText = std::vector<char, UninitAllocator<char>>;

class BackgroundWrites {
public:
    // `write` writes one text (a failure throws); it runs in the second
    // thread. Up to `waiting_most` bytes of texts may wait for it.
    BackgroundWrites(std::function<void(std::string_view)> write, std::size_t waiting_most)
        : write_(std::move(write)), waiting_most_(waiting_most) {}
    BackgroundWrites(const BackgroundWrites&) = delete;
    BackgroundWrites& operator=(const BackgroundWrites&) = delete;
    ~BackgroundWrites() {
        {
            std::lock_guard<std::mutex> lock(m_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // A buffer of a text written before (empty when there is none).
    WriteText spare() {
        std::lock_guard<std::mutex> lock(m_);
        if (spares_.empty()) return {};
        WriteText b = std::move(spares_.back());
        spares_.pop_back();
        return b;
    }

    // Queues `text`, once the texts waiting leave room for it.
    void give(WriteText&& text) {
        std::unique_lock<std::mutex> lock(m_);
        if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
        done_.wait(lock, [&] { return waiting_ == 0 || waiting_ + text.size() <= waiting_most_ || error_; });
        rethrow(lock);
        waiting_ += text.size();
        queue_.push_back(std::move(text));
        lock.unlock();
        wake_.notify_one();
    }

    // Waits until every text given is written; a failure is thrown here.
    void wait() {
        std::unique_lock<std::mutex> lock(m_);
        done_.wait(lock, [&] { return queue_.empty() && !busy_; });
        rethrow(lock);
    }

    // The same without throwing: false when a write failed (forgotten then).
    bool wait_quietly() noexcept {
        std::unique_lock<std::mutex> lock(m_);
        done_.wait(lock, [&] { return queue_.empty() && !busy_; });
        return std::exchange(error_, nullptr) == nullptr;
    }

private:
    void rethrow(std::unique_lock<std::mutex>& lock) {
        if (!error_) return;
        std::exception_ptr e = std::exchange(error_, nullptr);
        lock.unlock();
        std::rethrow_exception(e);
    }

    void work() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (queue_.empty()) return;
            WriteText t = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            const bool skip = failed_;
            lock.unlock();
            std::exception_ptr e;
            if (!skip) {  // after a failure the rest is dropped
                try {
                    write_(std::string_view(t.data(), t.size()));
                } catch (...) {
                    e = std::current_exception();
                }
            }
            lock.lock();
            busy_ = false;
            waiting_ -= t.size();
            if (e) {
                error_ = e;
                failed_ = true;
            }
            if (queue_.empty()) failed_ = false;
            // Enough spare buffers for the texts that may wait, no more. They
            // keep their length: the next text, usually as long, then needs
            // no clearing.
            if (spares_.size() < 2 || t.capacity() * spares_.size() < waiting_most_) spares_.push_back(std::move(t));
            done_.notify_all();
        }
    }

    std::function<void(std::string_view)> write_;
    std::size_t waiting_most_;
    std::mutex m_;
    std::condition_variable wake_, done_;
    std::deque<WriteText> queue_;
    std::vector<WriteText> spares_;
    std::size_t waiting_ = 0;
    bool busy_ = false;
    bool quit_ = false;
    bool failed_ = false;  // a write failed: what waits behind it is dropped
    std::exception_ptr error_;
    std::thread thread_;
};

}  // namespace nimbex
