// Converted files on their way to the disk. Converting threads put a file's bytes in and go on
// with the next file; writer threads take them out and wait for the disk, so that no processor
// waits for it. Bounded: a slow disk holds the converting threads back rather than letting
// finished files pile up in memory.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/PngColor.h"
#include "io/NewContent.h"

struct PendingWrite {
    size_t file = 0; // its place in the batch
    std::wstring destination;
    std::vector<uint8_t> bytes;
    tfi::NewContent content = tfi::NewContent::Bytes;
    tfi::ColorNote color = tfi::ColorNote::None; // why a declared colour space was not applied
};

class WriteQueue {
public:
    explicit WriteQueue(size_t capacity) : capacity_(capacity) {}

    void push(PendingWrite write) {
        std::unique_lock<std::mutex> hold(lock_);
        room_.wait(hold, [this] { return pending_.size() < capacity_; });
        pending_.push_back(std::move(write));
        hold.unlock();
        ready_.notify_one();
    }

    // Hands each write to `write` until the queue is closed and empty. A write counts as done
    // once its bytes are freed.
    template <class Writer>
    void serve(Writer write) {
        for (PendingWrite next; pop(next);) {
            write(next);
            next = PendingWrite();
            written();
        }
    }

    // Waits until every file put in so far is written.
    void waitUntilIdle() {
        std::unique_lock<std::mutex> hold(lock_);
        idle_.wait(hold, [this] { return pending_.empty() && writing_ == 0; });
    }

    // No more writes will come.
    void close() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            closed_ = true;
        }
        ready_.notify_all();
    }

private:
    bool pop(PendingWrite& write) {
        std::unique_lock<std::mutex> hold(lock_);
        ready_.wait(hold, [this] { return closed_ || !pending_.empty(); });
        if (pending_.empty())
            return false;
        write = std::move(pending_.front());
        pending_.pop_front();
        ++writing_;
        hold.unlock();
        room_.notify_one();
        return true;
    }

    void written() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            --writing_;
        }
        idle_.notify_all();
    }

    const size_t capacity_;
    std::mutex lock_;
    std::condition_variable ready_, room_, idle_;
    std::deque<PendingWrite> pending_;
    size_t writing_ = 0;
    bool closed_ = false;
};
