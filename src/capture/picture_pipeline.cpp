// The pipeline's worker: one queue of pictures and jobs under one lock, served in order.
#include "capture/picture_pipeline.h"

#include <pthread.h>

#include <algorithm>

namespace korvana {

PicturePipeline::PicturePipeline(size_t pictureBytes, size_t depth, Sink sink, const char* threadName)
    : sink_(std::move(sink)), buffers_(std::max<size_t>(depth, 1)), threadName_(threadName) {
    for (std::vector<uint8_t>& buffer : buffers_) {
        buffer.resize(pictureBytes);
        free_.push_back(buffer.data());
    }
    worker_ = std::thread([this] { work(); });
}

PicturePipeline::~PicturePipeline() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

uint8_t* PicturePipeline::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || !free_.empty(); });
    if (failed_) return nullptr;
    acquired_ = free_.back();
    free_.pop_back();
    return acquired_;
}

void PicturePipeline::submit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (acquired_ == nullptr) return;
        Item item;
        item.picture = acquired_;
        acquired_ = nullptr;
        queue_.push_back(item);
    }
    changed_.notify_all();
}

bool PicturePipeline::run(const Job& job, std::string& error) {
    bool done = false;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!failed_) {
        Item item;
        item.job = &job;
        item.jobDone = &done;
        queue_.push_back(item);
        changed_.notify_all();
        changed_.wait(lock, [&] { return done || failed_; });
    }
    if (failed_) error = failure_;
    return !failed_;
}

std::string PicturePipeline::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

int64_t PicturePipeline::picturesDone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
}

void PicturePipeline::work() {
    pthread_setname_np(pthread_self(), threadName_.substr(0, 15).c_str());
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty() || failed_) return;  // stopping with nothing left, or nothing more to do
        const Item item = queue_.front();
        queue_.pop_front();
        lock.unlock();
        std::string error;
        const bool ok = item.picture != nullptr ? sink_(item.picture, error) : (*item.job)(error);
        lock.lock();
        if (item.picture != nullptr) {
            free_.push_back(item.picture);
            if (ok) ++done_;
        } else if (ok) {
            *item.jobDone = true;
        }
        if (!ok) {
            failed_ = true;
            failure_ = error.empty() ? "the video writer failed" : error;
            queue_.clear();
        }
        changed_.notify_all();
    }
}

}  // namespace korvana
