#include "FrameBuilder.h"

#include <algorithm>
#include <system_error>

namespace {

// Triangles in one batch: about a millisecond of frame building, long enough that handing a
// batch over costs next to nothing, short enough that the threads finish close together.
constexpr std::size_t batchTriangles = 1024;

// Batches waiting per other thread beyond which the calling thread builds one itself: enough
// that the others never wait for work while the reading goes on.
constexpr std::size_t backlogPerThread = 2;

void build(const TriangleSlot& first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        TriangleSlot{first.stored + i, first.parts + i}.buildFrames();
    }
}

} // namespace

FrameBuilder::FrameBuilder(unsigned threads)
    : threads_(threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency())) {
    workers_.reserve(threads_ - 1); // so that starting a thread can fail only for want of one
}

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
    // One more thread for each full batch, up to the limit. A short batch starts none, so that a
    // course smaller than a batch, whose first storage blocks each end in a short batch, is built
    // on this thread alone.
    if (batch.count == batchTriangles && workers_.size() + 1 < threads_) {
        startThread();
    }
    if (workers_.empty()) {
        build(batch.first, batch.count);
        return;
    }
    Batch backlog;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(batch);
        // The other threads fall behind the reading (building frames costs more than reading a
        // triangle): then this thread builds the oldest waiting batch itself, so that every core
        // stays busy until the reading ends instead of the others working on alone afterwards.
        if (queue_.size() > backlogPerThread * workers_.size()) {
            backlog = queue_.front();
            queue_.pop_front();
        }
    }
    wake_.notify_one();
    if (backlog.count != 0) {
        build(backlog.first, backlog.count);
    }
}

void FrameBuilder::startThread() {
    try {
        workers_.emplace_back([this] { work(false); });
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
    // The last, short batch is built right here, meanwhile the other threads empty the queue.
    if (gathering_.count != 0) {
        const Batch last = gathering_;
        gathering_ = Batch{};
        build(last.first, last.count);
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
