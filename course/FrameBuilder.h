#pragma once

#include "course/TriangleStorage.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Builds the frames of a course's triangles while the course is still being read, on every core
// once the course is large enough to pay for threads. Each triangle's frames depend on nothing
// but its own vertices, so the frames are the same whichever thread builds them and however many
// there are.
//
// The reader hands over each triangle once it is done with it; triangles are gathered in batches
// of consecutive storage, which end after 1024 triangles or with a storage block. Only a full
// batch starts a thread, one per full batch up to the limit; a short batch (where a storage block
// ends) goes to the threads already started, or is built on the calling thread while there are
// none. So a course smaller than one batch starts no thread, and one of a few batches only a few.
// When the other threads fall more than two batches each behind, the calling thread builds the
// oldest waiting batch between two of its own.
class FrameBuilder {
public:
    // threads: how many threads may build at once, the calling one included; 0 means one per
    // core.
    explicit FrameBuilder(unsigned threads);
    FrameBuilder(const FrameBuilder&) = delete;
    FrameBuilder& operator=(const FrameBuilder&) = delete;
    // Finishes, so no thread outlives the builder.
    ~FrameBuilder();

    // The triangle will not be touched by the caller again until finish() has returned.
    void add(const TriangleSlot& slot);
    // Builds every triangle handed over that is still waiting, on this thread too, and waits for
    // the other threads: afterwards every frame is built and visible to the caller.
    void finish();

    // Threads started besides the calling one and not yet joined by finish().
    std::size_t otherThreads() const { return workers_.size(); }

private:
    // Slots that follow each other in one storage block.
    struct Batch {
        TriangleSlot first{nullptr, nullptr};
        std::size_t count = 0;

        bool continuesWith(const TriangleSlot& slot) const {
            return slot.stored == first.stored + count && slot.parts == first.parts + count;
        }
    };

    void hand(const Batch& batch);
    void startThread();
    // Takes batches off the queue and builds them until the queue is empty and, unless
    // `untilEmpty`, until finish() says no more will come.
    void work(bool untilEmpty);

    unsigned threads_;
    Batch gathering_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Batch> queue_;
    bool closing_ = false;
    std::vector<std::thread> workers_;
};
