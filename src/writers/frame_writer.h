#pragma once
// Writes the text of a frame to its file in a second thread, so that the
// next frame is formed while this one is written. One write at a time, in
// the order they are started; finish() waits for the last one and passes on
// its failure (a failed write stops the run, as when written directly).
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace nimbex {

class FrameWriter {
public:
    FrameWriter() = default;
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;
    ~FrameWriter() {
        if (thread_.joinable()) thread_.join();
    }

    // A buffer for the next frame's text (the one written two frames ago).
    std::vector<char> take_buffer() { return std::exchange(spare_, {}); }

    // Waits for the write before, then writes `text` to f in the background.
    void start(FileUnit& f, std::vector<char>&& text) {
        finish();
        writing_ = std::move(text);
        thread_ = std::thread([this, &f] {
            try {
                f.put(std::string_view(writing_.data(), writing_.size()));
            } catch (...) {
                error_ = std::current_exception();
            }
        });
    }

    // Waits for the write in progress; its failure is thrown here.
    void finish() {
        if (thread_.joinable()) thread_.join();
        if (!writing_.empty() || writing_.capacity() > 0) spare_ = std::move(writing_);
        writing_ = {};
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

    // Waits for the write in progress and forgets its failure: for a run
    // that is stopping anyway, before its files are settled.
    void abandon() noexcept {
        if (thread_.joinable()) thread_.join();
        error_ = nullptr;
    }

private:
    std::thread thread_;
    std::exception_ptr error_;
    std::vector<char> writing_, spare_;
};

}  // namespace nimbex
