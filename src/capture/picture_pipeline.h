// Pictures handed from the drawing thread to a writer on a thread of its own, through a small
// bounded queue of picture buffers. The drawing side fills a free buffer (waiting while all are
// queued) and submits it; the worker hands the pictures to the sink strictly in the order they
// were submitted, each exactly once. Jobs (opening, finishing the writer) run on the same thread,
// in order with the pictures, so the sink is only ever used from that one thread. The first
// failure stops the work: no later picture or job reaches the sink, and the drawing side learns
// of it at its next call.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvana {

class PicturePipeline {
public:
    using Sink = std::function<bool(const uint8_t* picture, std::string& error)>;
    using Job = std::function<bool(std::string& error)>;

    // `depth` buffers of `pictureBytes` each (at least 1); the worker thread starts at once and is
    // named `threadName` (at most 15 characters) for the system's tools.
    PicturePipeline(size_t pictureBytes, size_t depth, Sink sink, const char* threadName);
    // Stops the worker after the work already queued (or at once after a failure) and joins it.
    ~PicturePipeline();
    PicturePipeline(const PicturePipeline&) = delete;
    PicturePipeline& operator=(const PicturePipeline&) = delete;

    // A free buffer for the next picture, waiting while every buffer is queued; null once the
    // pipeline has failed. Call submit() before the next acquire().
    uint8_t* acquire();
    // Queues the buffer acquire() gave.
    void submit();
    // Runs `job` on the worker after everything queued before it and waits for it. False with the
    // reason when it or anything before it failed.
    bool run(const Job& job, std::string& error);
    // The first failure's reason; empty while there is none.
    std::string failure() const;
    // Pictures the sink has taken.
    int64_t picturesDone() const;

private:
    struct Item {
        uint8_t* picture = nullptr;  // null for a job
        const Job* job = nullptr;
        bool* jobDone = nullptr;
    };
    void work();

    Sink sink_;
    std::vector<std::vector<uint8_t>> buffers_;
    std::vector<uint8_t*> free_;
    uint8_t* acquired_ = nullptr;
    std::deque<Item> queue_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool failed_ = false;
    std::string failure_;
    int64_t done_ = 0;
    std::string threadName_;
    std::thread worker_;
};

}  // namespace korvana
