#include "course/FrameBuilder.h"

#include <algorithm>
#include <system_error>

namespace {

// Triangles in one batch: about a millisecond of frame building, long enough that handing a
// batch over costs next to nothing, short enough that the threads finish close together.
constexpr std::size_t batchTriangles = 1024;

void build(const TriangleSlot& first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        TriangleSlot{first.stored + i, first.parts + i}.buildFrames();
    }
}

} // namespace

FrameBuilder::FrameBuilder(unsigned threads)
    : threads_(threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency())) {}

FrameBuilder::~FrameBuilder() {
    finish();
}

void FrameBuilder::add(const TriangleSlot& slot) {
    if (gathering_.count != 0 && !gathering_.continuesWith(slot)) {
        hand(gathering_);
        gathering_ = Batch{};
    }
    if (gathering_.count == 0) {
        gathering_.first = slot;
    }
    if (++gathering_.count == batchTriangles) {
        hand(gathering_);
        gathering_ = Batch{};
    }
}

void FrameBuilder::hand(const Batch& batch) {
    if (workers_.empty() && threads_ > 1) {
        startThreads();
    }
    if (workers_.empty()) {
        build(batch.first, batch.count);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(batch);
    }
    wake_.notify_one();
}

void FrameBuilder::startThreads() {
    try {
        for (unsigned i = 1; i < threads_; ++i) {
            workers_.emplace_back([this] { work(false); });
        }
    } catch (const std::system_error&) {
        // No more threads to be had: the ones started and the calling thread do the work.
        threads_ = static_cast<unsigned>(workers_.size()) + 1;
    }
}

void FrameBuilder::work(bool untilEmpty) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!queue_.empty()) {
            const Batch batch = queue_.front();
            queue_.pop_front();
            lock.unlock();
            build(batch.first, batch.count);
            lock.lock();
        } else if (untilEmpty || closing_) {
            return;
        } else {
            wake_.wait(lock);
        }
    }
}

void FrameBuilder::finish() {
    if (gathering_.count != 0) {
        const Batch last = gathering_;
        gathering_ = Batch{};
        // The tail of a course that started no thread is built right here.
        if (workers_.empty()) {
            build(last.first, last.count);
        } else {
            hand(last);
        }
    }
    if (workers_.empty()) {
        return;
    }
    work(true); // this thread helps with what is left
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
    closing_ = false;
}
