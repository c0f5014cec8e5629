#include "physics/ContactIndex.h"

#include "ContactReach.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

using contact_reach::SweepReach;

namespace {

// Triangles per leaf. Eight, the leaves full, keep the tree at an eighth of the records' size
// (4 bytes a triangle more would put a loaded million-triangle course past 650 bytes a
// triangle), and measured as fast as leaves of four with a third of them empty.
constexpr std::uint32_t trianglesPerLeaf = 8;

// Triangles below which the index is built on the calling thread alone: a few milliseconds of
// work, less than what waiting for another thread to be scheduled can cost on a busy machine.
constexpr std::size_t trianglesForThreads = 4096;

// Records written by one thread's share of the work at a time, when the records are filled in.
constexpr std::size_t recordsPerChunk = 4096;

// Deep enough for any tree the split builds: it halves the leaves at every level.
constexpr int deepestTree = 64;

// Runs work(i, scratch) for every i below count on up to `threads` threads, the calling one
// included (0: one per core), each thread with a Scratch of its own; rethrows on the calling
// thread the first exception a worker met (running out of memory, say).
template <class Scratch, class Work>
void inParallel(std::size_t count, unsigned threads, Work work) {
    if (count == 0) {
        return; // a course of no boxes: nothing to do, and no thread to start
    }
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto run = [&] {
        try {
            Scratch scratch; // freed with the worker's share of the work
            for (std::size_t i; (i = next.fetch_add(1)) < count;) {
                work(i, scratch);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failureMutex);
            failure = failure ? failure : std::current_exception();
            next = count; // no more work for anyone
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1); // so that starting a thread can fail only for want of one
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break; // no more threads to be had: those started and this one do the work
        }
    }
    run();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// How many of `items` triangles (more than a leaf holds) the left subtree takes: the first half
// of the leaves, every leaf full but the last of the whole subtree, so that the tree has as few
// nodes as its leaves allow (2 ceil(items / trianglesPerLeaf) - 1).
std::size_t leftShare(std::size_t items) {
    const std::size_t leaves = (items + trianglesPerLeaf - 1) / trianglesPerLeaf;
    return (leaves + 1) / 2 * trianglesPerLeaf;
}

// The nodes of the tree the median split builds over `items` triangles: one leaf for a few,
// otherwise a node over the trees of both shares.
// (A tree of one leaf is one node, and each split adds a node and a leaf.)
std::size_t nodesFor(std::size_t items) {
    return 2 * ((items + trianglesPerLeaf - 1) / trianglesPerLeaf) - 1;
}

} // namespace

using contact_reach::roundedDown;
using contact_reach::roundedUp;

namespace {

// The index's record of a triangle numbered `listed` in merging order: its growth and normal
// error when it is in the tree, none for a loose one (which is never bounded).
// (validate compares records byte by byte: they must have no padding.)
static_assert(sizeof(ContactTriangle) == 96 && alignof(ContactTriangle) == 32);
ContactTriangle recordOf(const Triangle& triangle, std::uint32_t listed, bool inTree) {
    ContactTriangle record = ContactTriangle::of(triangle, listed);
    if (inTree) {
        record.reachGrowth = roundedUp(*contact_reach::triangleGrowth(record));
        record.normalError = roundedUp(contact_reach::normalError(record));
    }
    return record;
}

} // namespace

// Builds the index: the records of every non-degenerate triangle, the tree over those that can
// be culled in leaf order, then the loose ones box by box. Kept apart from the queries, which
// only read what it leaves.
class ContactIndex::Builder {
public:
    Builder(ContactIndex& index, const std::vector<CollisionBox>& boxes, unsigned threads)
        : index_(index), boxes_(boxes), threads_(threads) {}

    void build() {
        placeBoxes();
        boundTriangles();
        gatherLooseRuns();
        buildTree();
        writeRecords();
        boundNormals();
    }

private:
    // Where a triangle goes: a branch by the axis direction its normal leans to most (2 axis + 0
    // towards +, 1 towards -), after them the loose ones, or nowhere (degenerate).
    static constexpr std::uint8_t looseClass = 6;
    static constexpr std::uint8_t noClass = 7;
    static constexpr int classCount = 7;

    // A triangle to place: its bounds grown by its share of the culling margin (a tree's item
    // only), and where the course holds it.
    // Plain floats rather than a Bounds, whose empty start would make the items written by
    // every thread be constructed first, on this one.
    struct Item {
        float lower[3];
        float upper[3];
        std::uint32_t box;
        std::uint32_t position;

        double centre(int axis) const { return 0.5 * (double(lower[axis]) + upper[axis]); }
        Bounds bounds() const {
            return {{lower[0], lower[1], lower[2]}, {upper[0], upper[1], upper[2]}};
        }
    };
    // A subtree left to build on some thread: node, and items [begin, end).
    struct Subtree {
        std::uint32_t node;
        std::uint32_t begin;
        std::uint32_t end;
    };
    struct NoScratch {};

    static std::uint8_t classOf(const Triangle& triangle) {
        if (!triangle.hasFiniteNormal()) {
            return noClass; // degenerate: the search skips it (fix 6 of the contact rules)
        }
        const ContactTriangle record = ContactTriangle::of(triangle);
        if (!contact_reach::triangleGrowth(record)) {
            return looseClass;
        }
        int along = 0;
        for (int axis = 1; axis < 3; ++axis) {
            if (std::fabs(record.normal[axis]) > std::fabs(record.normal[along])) {
                along = axis;
            }
        }
        return static_cast<std::uint8_t>(2 * along + (record.normal[along] < 0.0f ? 1 : 0));
    }

    // Sorts the triangles into their classes, box by box on every thread, and gives each box its
    // place in every class: the items are then written straight to their places, the branches
    // one after the other and each in list order, the loose ones last in list order.
    void placeBoxes() {
        std::size_t listed = 0;
        for (const CollisionBox& box : boxes_) {
            listed += box.triangleCount();
        }
        if (listed < trianglesForThreads) {
            threads_ = 1;
        }
        // The records number the triangles in 32 bits (a course file of 4 GiB lists at most a
        // quarter of that).
        if (listed > UINT32_MAX) {
            throw std::length_error("a contact index holds at most 2^32 - 1 triangles");
        }
        index_.firstListed_.resize(boxes_.size() + 1);
        std::uint32_t first = 0;
        for (std::size_t number = 0; number < boxes_.size(); ++number) {
            index_.firstListed_[number] = first;
            first += boxes_[number].triangleCount();
        }
        index_.firstListed_[boxes_.size()] = first;
        classes_ = std::make_unique_for_overwrite<std::uint8_t[]>(listed);
        start_.assign(boxes_.size(), {});
        inParallel<NoScratch>(boxes_.size(), threads_, [&](std::size_t number, NoScratch&) {
            const CollisionBox& box = boxes_[number];
            std::uint8_t* const classes = classes_.get() + index_.firstListed_[number];
            for (unsigned i = 0; i < box.triangleCount(); ++i) {
                classes[i] = classOf(*box.triangle(static_cast<int>(i)));
                if (classes[i] != noClass) {
                    ++start_[number][classes[i]];
                }
            }
        });
        // Counts into places: class by class, box by box.
        std::size_t total = 0;
        for (int c = 0; c < classCount; ++c) {
            const std::size_t classFirst = total;
            for (std::array<std::size_t, classCount>& place : start_) {
                const std::size_t count = place[c];
                place[c] = total;
                total += count;
            }
            if (c == looseClass) {
                index_.treeTriangleCount_ = classFirst;
            } else if (total > classFirst) {
                index_.branches_.push_back({0,
                                            static_cast<std::uint32_t>(classFirst),
                                            static_cast<std::uint32_t>(total),
                                            {0, 0, 0},
                                            2.0f});
            }
        }
        index_.triangleCount_ = total;
        // Written in place by the threads below, so the fresh memory is first touched there.
        items_ = std::make_unique_for_overwrite<Item[]>(total);
        magnitude_.assign(boxes_.size(), 0.0);
    }

    // Every triangle's item at its place; the grown bounds of those that can be culled.
    void boundTriangles() {
        inParallel<NoScratch>(boxes_.size(), threads_, [&](std::size_t number, NoScratch&) {
            const CollisionBox& box = boxes_[number];
            const std::uint8_t* const classes = classes_.get() + index_.firstListed_[number];
            std::array<std::size_t, classCount>& next = start_[number];
            for (unsigned position = 0; position < box.triangleCount(); ++position) {
                const std::uint8_t c = classes[position];
                if (c == noClass) {
                    continue;
                }
                Item& item = items_[next[c]++];
                item.box = static_cast<std::uint32_t>(number);
                item.position = position;
                if (c == looseClass) {
                    continue; // tested whenever its box takes part: no bounds
                }
                const Triangle& triangle = *box.triangle(static_cast<int>(position));
                const ContactTriangle record = ContactTriangle::of(triangle);
                const double growth = *contact_reach::triangleGrowth(record);
                contact_reach::vertexBounds(record, item.lower, item.upper);
                for (int axis = 0; axis < 3; ++axis) {
                    item.lower[axis] = roundedDown(double(item.lower[axis]) - growth);
                    item.upper[axis] = roundedUp(double(item.upper[axis]) + growth);
                }
                for (const float* corner : record.vertex) {
                    magnitude_[number] =
                        std::max(magnitude_[number], contact_reach::magnitude(corner));
                }
            }
        });
        for (const double magnitude : magnitude_) {
            index_.courseMagnitude_ = std::max(index_.courseMagnitude_, magnitude);
        }
        classes_.reset();
        start_ = {};
    }

    // The loose triangles, after the tree's, in runs box by box.
    void gatherLooseRuns() {
        std::vector<LooseRun>& runs = index_.looseRuns_;
        for (std::size_t i = index_.treeTriangleCount_; i < index_.triangleCount_; ++i) {
            const Item& item = items_[i];
            if (runs.empty() || runs.back().box != item.box) {
                runs.push_back({item.box, static_cast<std::uint32_t>(i), 0});
            }
            ++runs.back().count;
        }
    }

    // The branches' trees, one after the other; the items end up in leaf order. The upper levels
    // are split on this thread, the subtrees below them on every thread: each subtree's nodes
    // have their place in advance (the median split fixes every subtree's size), so the tree is
    // the same whatever the number of threads.
    void buildTree() {
        const std::size_t treeItems = index_.treeTriangleCount_;
        if (treeItems == 0) {
            return;
        }
        for (Branch& branch : index_.branches_) {
            branch.root = static_cast<std::uint32_t>(index_.nodeCount_);
            index_.nodeCount_ += nodesFor(branch.end - branch.first);
        }
        index_.nodes_ = std::make_unique_for_overwrite<Node[]>(index_.nodeCount_);
        const unsigned threads =
            threads_ == 0 ? std::max(1u, std::thread::hardware_concurrency()) : threads_;
        std::vector<Subtree> subtrees;
        // A few subtrees a thread, so that an uneven share evens out.
        spawnBelow_ =
            threads > 1 ? std::max<std::size_t>(treeItems / (4 * threads), 1024) : treeItems;
        for (const Branch& branch : index_.branches_) {
            split({branch.root, branch.first, branch.end}, &subtrees);
        }
        inParallel<NoScratch>(subtrees.size(), threads_,
                              [&](std::size_t i, NoScratch&) { split(subtrees[i], nullptr); });
    }

    // Fills the subtree's node: a leaf when its items are few, otherwise a node split along the
    // axis where the items' centres spread widest, at the centre that gives the left subtree its
    // share (leftShare: about the median), over the subtrees of both shares (left in the next
    // node, right after the whole left subtree). With
    // `deferred`, subtrees small enough are left there for later instead.
    void split(const Subtree& subtree, std::vector<Subtree>* deferred) {
        if (deferred != nullptr && subtree.end - subtree.begin <= spawnBelow_) {
            deferred->push_back(subtree);
            return;
        }
        // The union of the items' bounds (the first item's bits on a tie, as the items are
        // finite), and the spread of their centres.
        Bounds bounds = items_[subtree.begin].bounds();
        double lowestCentre[3];
        double highestCentre[3];
        for (int axis = 0; axis < 3; ++axis) {
            lowestCentre[axis] = highestCentre[axis] = items_[subtree.begin].centre(axis);
        }
        for (std::uint32_t i = subtree.begin + 1; i < subtree.end; ++i) {
            bounds.grow(items_[i].bounds());
            for (int axis = 0; axis < 3; ++axis) {
                lowestCentre[axis] = std::min(lowestCentre[axis], items_[i].centre(axis));
                highestCentre[axis] = std::max(highestCentre[axis], items_[i].centre(axis));
            }
        }
        Node node{};
        std::copy(std::begin(bounds.lower), std::end(bounds.lower), node.lower);
        std::copy(std::begin(bounds.upper), std::end(bounds.upper), node.upper);
        const std::uint32_t count = subtree.end - subtree.begin;
        if (count <= trianglesPerLeaf) {
            node.first = subtree.begin;
            node.count = count;
            index_.nodes_[subtree.node] = node;
            return;
        }
        int axis = 0;
        for (int other = 1; other < 3; ++other) {
            if (highestCentre[other] - lowestCentre[other] >
                highestCentre[axis] - lowestCentre[axis]) {
                axis = other;
            }
        }
        const auto middle = static_cast<std::uint32_t>(subtree.begin + leftShare(count));
        std::nth_element(
            items_.get() + subtree.begin, items_.get() + middle, items_.get() + subtree.end,
            [axis](const Item& a, const Item& b) { return a.centre(axis) < b.centre(axis); });
        const std::uint32_t left = subtree.node + 1;
        const auto right = static_cast<std::uint32_t>(left + nodesFor(middle - subtree.begin));
        node.first = right;
        node.count = 0;
        index_.nodes_[subtree.node] = node;
        split({left, subtree.begin, middle}, deferred);
        split({right, middle, subtree.end}, deferred);
    }

    // The records in leaf order, then the loose ones, written in place by the threads (so that
    // the fresh memory is first touched there).
    void writeRecords() {
        const std::size_t count = index_.triangleCount_;
        index_.triangles_ = std::make_unique_for_overwrite<ContactTriangle[]>(count);
        const std::size_t chunks = (count + recordsPerChunk - 1) / recordsPerChunk;
        inParallel<NoScratch>(chunks, threads_, [&](std::size_t chunk, NoScratch&) {
            const std::size_t end = std::min(count, (chunk + 1) * recordsPerChunk);
            for (std::size_t i = chunk * recordsPerChunk; i < end; ++i) {
                const Item& item = items_[i];
                const Triangle& triangle =
                    *boxes_[item.box].triangle(static_cast<int>(item.position));
                index_.triangles_[i] =
                    recordOf(triangle, index_.firstListed_[item.box] + item.position,
                             i < index_.treeTriangleCount_);
            }
        });
    }

    // Each branch's cone around its normals: their mean direction, rounded to float, and the
    // largest distance of a normal from it, rounded up with room for the rounding of the
    // distances.
    void boundNormals() {
        for (Branch& branch : index_.branches_) {
            double sum[3] = {0.0, 0.0, 0.0};
            for (std::uint32_t i = branch.first; i < branch.end; ++i) {
                for (int axis = 0; axis < 3; ++axis) {
                    sum[axis] += index_.triangles_[i].normal[axis];
                }
            }
            const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
            if (!(length > 0.0)) {
                continue; // normals that cancel: no cone narrower than the whole sphere
            }
            for (int axis = 0; axis < 3; ++axis) {
                branch.normalAxis[axis] = static_cast<float>(sum[axis] / length);
            }
            branch.normalSpread = std::min(
                2.0f, roundedUp(std::sqrt(spreadOf(branch)) * (1.0 + contact_reach::coneSlack) +
                                contact_reach::coneSlack));
        }
    }

    // The largest squared distance of a branch's normal from its cone's axis.
    double spreadOf(const Branch& branch) const {
        double widest = 0.0;
        for (std::uint32_t i = branch.first; i < branch.end; ++i) {
            double squared = 0.0;
            for (int axis = 0; axis < 3; ++axis) {
                const double gap =
                    double(index_.triangles_[i].normal[axis]) - branch.normalAxis[axis];
                squared += gap * gap;
            }
            widest = std::max(widest, squared);
        }
        return widest;
    }

    ContactIndex& index_;
    const std::vector<CollisionBox>& boxes_;
    unsigned threads_;
    // Each listed triangle's class (classOf), while the items are placed.
    std::unique_ptr<std::uint8_t[]> classes_;
    // Box by box, the place of its next item of each class.
    std::vector<std::array<std::size_t, classCount>> start_;
    // The items in leaf order (the tree's) and then the loose ones.
    std::unique_ptr<Item[]> items_;
    std::vector<double> magnitude_;
    std::size_t spawnBelow_ = 0;
};

ContactIndex::ContactIndex(const std::vector<CollisionBox>& boxes, unsigned threads)
    : boxList_(&boxes), boxListSize_(boxes.size()) {
    Builder(*this, boxes, threads).build();
}

bool ContactIndex::isBuiltFor(const std::vector<CollisionBox>& boxes) const {
    return &boxes == boxList_ && boxes.size() == boxListSize_;
}

// Starts a pass of the query on the move: the move's share of the margin, and fresh box tests
// (unless the context's pass is of this index and this very move already, whose tests stand).
// False when the move cannot be culled.
bool ContactIndex::beginPass(const BallMove& move, float epsilon, ContactSearch& search) const {
    const auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
    const auto same = [&](const Vector3& a, const Vector3& b) {
        return bits(a.x) == bits(b.x) && bits(a.y) == bits(b.y) && bits(a.z) == bits(b.z);
    };
    const bool samePass = search.index_ == this && same(search.from_, move.from) &&
                          same(search.to_, move.to) && bits(search.radius_) == bits(move.radius) &&
                          bits(search.epsilon_) == bits(epsilon);
    if (!samePass) {
        ++search.statistics.passes;
        search.index_ = this;
        search.from_ = move.from;
        search.to_ = move.to;
        search.radius_ = move.radius;
        search.epsilon_ = epsilon;
        if (search.boxPass_.size() != boxListSize_ || search.pass_ == UINT32_MAX) {
            search.boxPass_.assign(boxListSize_, 0);
            search.boxAccepted_.assign(boxListSize_, 0);
            search.pass_ = 0;
        }
        ++search.pass_;
    }
    search.slabsReady_ = false;
    return contact_reach::sweepReach(move, epsilon, courseMagnitude_, search.sweep_);
}

// Whether the box's own sweep test accepts the move, as the exhaustive search asks it: made once
// per pass, when the box's first triangle is reached.
bool ContactIndex::boxTakesPart(std::uint32_t box, const BallMove& move,
                                const std::vector<CollisionBox>& boxes,
                                ContactSearch& search) const {
    if (search.boxPass_[box] != search.pass_) {
        search.boxPass_[box] = search.pass_;
        search.boxAccepted_[box] =
            boxes[box].overlapsSweep(move.from, move.to, move.radius, search.epsilon_) ? 1 : 0;
    }
    return search.boxAccepted_[box] != 0;
}

bool ContactIndex::collectCandidates(const BallMove& move, float epsilon,
                                     const std::vector<CollisionBox>& boxes, ContactSearch& search,
                                     std::size_t most) const {
    search.triangles.clear();
    if (!beginPass(move, epsilon, search)) {
        collectEveryTriangle(move, boxes, search);
        return true;
    }
    search.collected_.clear();
    SweepReach& sweep = search.sweep_;
    std::vector<std::uint32_t>& collected = search.collected_;
    for (const Branch& branch : branches_) {
        const Node& root = nodes_[branch.root];
        if (!contact_reach::boundsMayReach(sweep, root.lower, root.upper) ||
            leavesEveryFace(move, branch)) {
            ++search.statistics.nodesVisited;
            continue; // out of reach, or the move leaves the front of every face of the branch
        }
        std::uint32_t pending[deepestTree];
        int top = 0;
        pending[top++] = branch.root;
        while (top > 0) {
            const std::uint32_t at = pending[--top];
            const Node& node = nodes_[at];
            ++search.statistics.nodesVisited;
            if (!contact_reach::boundsMayReach(sweep, node.lower, node.upper)) {
                continue;
            }
            if (!search.slabsReady_) {
                contact_reach::prepareSlabs(sweep);
                search.slabsReady_ = true;
            }
            if (!contact_reach::segmentMayReach(sweep, node.lower, node.upper, 0.0)) {
                continue;
            }
            if (node.count == 0) {
                pending[top++] = node.first;
                pending[top++] = at + 1;
                continue;
            }
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                ++search.statistics.trianglesBounded;
                const ContactTriangle& triangle = triangles_[i];
                if (contact_reach::leavesFront(move, triangle) ||
                    !contact_reach::mayTouch(triangle, triangle.reachGrowth, sweep) ||
                    contact_reach::earliestNearPlane(triangle, sweep) > 1.0 ||
                    !boxTakesPart(placeOf(i, search).box, move, boxes, search)) {
                    continue; // its tests all report nothing, or its box takes no part
                }
                collected.push_back(i);
            }
            if (collected.size() > most) {
                handOutRecords(search);
                return false;
            }
        }
    }
    for (const LooseRun& run : looseRuns_) {
        if (boxTakesPart(run.box, move, boxes, search)) {
            for (std::uint32_t i = run.first; i < run.first + run.count; ++i) {
                collected.push_back(i);
            }
        }
    }
    handOutRecords(search);
    return collected.size() <= most;
}

ContactIndex::Place ContactIndex::placeOf(std::uint32_t record, ContactSearch& search) const {
    const std::uint32_t listed = triangles_[record].listed;
    std::uint32_t box = search.lastBox_;
    if (box + 1 >= firstListed_.size() || listed < firstListed_[box] ||
        listed >= firstListed_[box + 1]) {
        // The last box whose first triangle is not after it (an empty box before it shares its
        // first number, and comes before).
        box = static_cast<std::uint32_t>(
            std::upper_bound(firstListed_.begin(), firstListed_.end(), listed) -
            firstListed_.begin() - 1);
        search.lastBox_ = box;
    }
    return {box, listed - firstListed_[box]};
}

void ContactIndex::handOutRecords(ContactSearch& search) const {
    search.triangles.clear();
    for (const std::uint32_t i : search.collected_) {
        search.triangles.push_back({mergeOrder(i, search), &triangles_[i]});
    }
}

// A move that cannot be culled: every triangle of every box whose test accepts it.
void ContactIndex::collectEveryTriangle(const BallMove& move,
                                        const std::vector<CollisionBox>& boxes,
                                        ContactSearch& search) const {
    search.collected_.clear();
    for (std::uint32_t i = 0; i < triangleCount_; ++i) {
        if (boxTakesPart(placeOf(i, search).box, move, boxes, search)) {
            search.collected_.push_back(i);
        }
    }
    handOutRecords(search);
}

// Testing the triangles earliest first, and stopping early, gives exactly what testing all of
// them in order gives, by this property of the merge rules:
//
//   Let every result lie outside [G - eps, G + eps) (a gap of 2 eps, eps the merge tolerance),
//   and let the smallest result m lie below G - eps. Then merging, in order, only the results
//   below G + eps gives the same earliest and contactNormal as merging all of them.
//
// Proof. Merging starts with earliest = 1 (no contact). Let g be the first result, in merging
// order, below G - eps. Every result before it lies at or above G + eps, so earliest is 1 or at
// least G + eps when g arrives, more than 2 eps above g: g is not simultaneous with it and is
// earlier, so by either rule it replaces both values, whether or not the results above G + eps
// were merged before it. From then on earliest stays below G - eps, and a result at or above
// G + eps lies more than 2 eps above it (so even after the float rounding of the difference it
// is neither simultaneous nor earlier): merging it changes nothing. The results below G + eps
// come in the same order either way, so both merges end in the same state.
//
// The queue holds nodes and triangles, each with a bound that no result of what it stands for
// lies below (contact_reach: the rounded box around a node's bounds; for a triangle, first the
// rounded box around its own bounds and the band about its plane, then, when it comes to the
// front, the tighter and dearer bound of the triangle itself).
// The search stops at the front's bound L once the smallest result found lies below L - 2 eps and
// no result found lies in [L - 2 eps, L): with G = L - eps the property holds for every result,
// those found as those not (all at or above L = G + eps), so merging the tested triangles in
// order gives the exhaustive result. A triangle whose box the box test rejects never enters the
// queue, as the exhaustive search skips it too: the property is one of the results that take
// part, and so is the stop.
void ContactIndex::enqueue(ContactSearch& search, double bound, std::uint32_t item,
                           QueueEntry::Kind kind) {
    if (bound <= 1.0) { // otherwise no result below 1 can come of it
        search.queue_.push_back({bound, item, kind});
        std::push_heap(search.queue_.begin(), search.queue_.end(),
                       [](const QueueEntry& a, const QueueEntry& b) { return a.bound > b.bound; });
    }
}

// Whether the move leaves the front of every face of the branch, as each one's tests judge it
// (D . n > 0 rounded to float): then none of them reports anything. For a normal n within s of
// the cone's axis a, D . n >= D . a - |D| s; a little more than that being positive keeps the
// tests' own double sum and its rounding to float above zero.
bool ContactIndex::leavesEveryFace(const BallMove& move, const Branch& branch) {
    const double d[3] = {move.delta.x, move.delta.y, move.delta.z};
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double along =
        d[0] * branch.normalAxis[0] + d[1] * branch.normalAxis[1] + d[2] * branch.normalAxis[2];
    return along - length * branch.normalSpread >
           length * contact_reach::frontSlack + contact_reach::tinyFrontSlack;
}

// Seeds the queue with the root's branches, and with the loose triangles of every box that takes
// part (no bound for them).
void ContactIndex::seed(const BallMove& move, const std::vector<CollisionBox>& boxes,
                        ContactSearch& search) const {
    const SweepReach& sweep = search.sweep_;
    for (const Branch& branch : branches_) {
        if (!leavesEveryFace(move, branch)) {
            const Node& root = nodes_[branch.root];
            ++search.statistics.nodesVisited;
            enqueue(search,
                    contact_reach::earliestNearBox(sweep, root.lower, root.upper, sweep.reach),
                    branch.root, QueueEntry::Kind::node);
        }
    }
    for (const LooseRun& run : looseRuns_) {
        if (boxTakesPart(run.box, move, boxes, search)) {
            for (std::uint32_t i = run.first; i < run.first + run.count; ++i) {
                enqueue(search, 0.0, i, QueueEntry::Kind::tightTriangle);
            }
        }
    }
}

// An inner node gives its two children, each bounded by the rounded box around its bounds; a
// leaf its triangles that may report on the move, each bounded by its own box and its plane's
// band, and none below the node's bound.
void ContactIndex::expandNode(const QueueEntry& entry, const BallMove& move,
                              const std::vector<CollisionBox>& boxes, ContactSearch& search) const {
    const SweepReach& sweep = search.sweep_;
    const Node& node = nodes_[entry.item];
    if (node.count == 0) {
        for (const std::uint32_t child : {entry.item + 1, node.first}) {
            ++search.statistics.nodesVisited;
            const Node& c = nodes_[child];
            enqueue(search,
                    std::max(entry.bound,
                             contact_reach::earliestNearBox(sweep, c.lower, c.upper, sweep.reach)),
                    child, QueueEntry::Kind::node);
        }
        return;
    }
    for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
        ++search.statistics.trianglesBounded;
        const ContactTriangle& triangle = triangles_[i];
        if (contact_reach::leavesFront(move, triangle)) {
            continue; // its tests all report nothing
        }
        float lower[3], upper[3];
        contact_reach::vertexBounds(triangle, lower, upper);
        const double bound = std::max({entry.bound,
                                       contact_reach::earliestNearBox(
                                           sweep, lower, upper, sweep.reach + triangle.reachGrowth),
                                       contact_reach::earliestNearPlane(triangle, sweep)});
        if (bound <= 1.0 && boxTakesPart(placeOf(i, search).box, move, boxes, search)) {
            enqueue(search, bound, i, QueueEntry::Kind::roughTriangle);
        }
    }
}

// A triangle at the front with its first bound goes back with the bound of the triangle itself.
void ContactIndex::tightenBound(const QueueEntry& entry, ContactSearch& search) const {
    const ContactTriangle& triangle = triangles_[entry.item];
    // It is likely to be tested next: the cache lines of its frames, which only the tests read,
    // are asked for meanwhile (a hint only, nothing is read).
    const auto* const frames = reinterpret_cast<const char*>(triangle.frames);
    for (std::size_t offset = 0; offset < 3 * 16 * sizeof(float); offset += 64) {
        __builtin_prefetch(frames + offset);
    }
    enqueue(search,
            std::max(entry.bound, contact_reach::earliestNearTriangle(triangle, search.sweep_)),
            entry.item, QueueEntry::Kind::tightTriangle);
}

// Runs the triangle's seven tests and keeps what it reported.
void ContactIndex::testTriangle(const QueueEntry& entry,
                                const std::function<TriangleContacts(const ContactTriangle&)>& test,
                                ContactSearch& search, double& smallest) const {
    ++search.statistics.trianglesTested;
    const TriangleContacts results = test(triangles_[entry.item]);
    bool any = false;
    for (const float t : results.time) {
        if (t < noContact) {
            search.resultTimes_.push_back(t);
            smallest = std::min(smallest, double(t));
            any = true;
        }
    }
    if (any) { // a triangle without a result merges as nothing
        search.tested.emplace_back(mergeOrder(entry.item, search), results);
    }
}

// The stopping rule of the proof above: at the front's bound L, the smallest result found lies
// below L - gap and no result found lies in [L - gap, L).
bool ContactIndex::canStop(const ContactSearch& search, double smallest, double gap) {
    const double front = search.queue_.front().bound;
    return smallest < front - gap &&
           std::none_of(search.resultTimes_.begin(), search.resultTimes_.end(),
                        [&](float t) { return t >= front - gap && t < front; });
}

void ContactIndex::searchEarliestFirst(
    const BallMove& move, float epsilon, const std::vector<CollisionBox>& boxes,
    const std::function<TriangleContacts(const ContactTriangle&)>& test,
    ContactSearch& search) const {
    search.tested.clear();
    search.resultTimes_.clear();
    search.queue_.clear();
    if (!beginPass(move, epsilon, search)) {
        // Nothing to order by: every triangle of every box that takes part, in merging order.
        search.triangles.clear();
        collectEveryTriangle(move, boxes, search);
        for (const ContactCandidate& candidate : search.triangles) {
            search.tested.emplace_back(candidate.order, test(*candidate.triangle));
        }
        search.countTested(search.triangles.size());
    } else {
        if (!search.slabsReady_) {
            contact_reach::prepareSlabs(search.sweep_);
            search.slabsReady_ = true;
        }
        seed(move, boxes, search);
        const double gap = 2.0 * std::max(0.0, double(epsilon));
        double smallest = noContact;
        std::vector<QueueEntry>& queue = search.queue_;
        while (!queue.empty() && !canStop(search, smallest, gap)) {
            std::pop_heap(queue.begin(), queue.end(), [](const QueueEntry& a, const QueueEntry& b) {
                return a.bound > b.bound;
            });
            const QueueEntry next = queue.back();
            queue.pop_back();
            switch (next.kind) {
            case QueueEntry::Kind::node:
                expandNode(next, move, boxes, search);
                break;
            case QueueEntry::Kind::roughTriangle:
                tightenBound(next, search);
                break;
            case QueueEntry::Kind::tightTriangle:
                testTriangle(next, test, search, smallest);
                break;
            }
        }
    }
    std::sort(search.tested.begin(), search.tested.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

std::optional<std::string> ContactIndex::validate(const std::vector<CollisionBox>& boxes) const {
    const auto fault = [](const std::string& text) { return std::optional<std::string>(text); };
    if (boxes.size() != boxListSize_) {
        return fault("built for " + std::to_string(boxListSize_) + " boxes, given " +
                     std::to_string(boxes.size()));
    }
    // Every record: a non-degenerate triangle of its box, at its position, seen once.
    std::vector<std::size_t> firstOfBox(boxes.size() + 1, 0);
    for (std::size_t number = 0; number < boxes.size(); ++number) {
        firstOfBox[number + 1] = firstOfBox[number] + boxes[number].triangleCount();
    }
    if (!std::equal(firstOfBox.begin(), firstOfBox.end(), firstListed_.begin(),
                    firstListed_.end())) {
        return fault("the boxes' first numbers in merging order are not the boxes' own");
    }
    ContactSearch places; // only for placeOf's guess of the box
    std::vector<std::uint8_t> seen(firstOfBox.back(), 0);
    for (std::size_t i = 0; i < triangleCount_; ++i) {
        const ContactTriangle& record = triangles_[i];
        const std::string where = "record " + std::to_string(i);
        if (record.listed >= firstOfBox.back()) {
            return fault(where + " names no triangle of the course");
        }
        const auto [box, position] = placeOf(static_cast<std::uint32_t>(i), places);
        if (box >= boxes.size() ||
            position >= static_cast<std::size_t>(boxes[box].triangleCount())) {
            return fault(where + " is placed outside its box's triangles");
        }
        const Triangle& triangle = *boxes[box].triangle(static_cast<int>(position));
        const bool inTree = i < treeTriangleCount_;
        if (!triangle.hasFiniteNormal() ||
            (inTree != contact_reach::triangleGrowth(ContactTriangle::of(triangle)).has_value())) {
            if (triangle.hasFiniteNormal()) {
                return fault(where + (inTree ? " cannot be culled but is in the tree"
                                             : " is loose but could be culled"));
            }
            return fault(where + " does not hold the triangle of its place");
        }
        // Every field as the build makes it (the record has no padding).
        const ContactTriangle expected = recordOf(triangle, record.listed, inTree);
        if (std::memcmp(&record, &expected, sizeof record) != 0) {
            return fault(where + " does not hold the triangle of its place");
        }
        if (seen[record.listed]++ != 0) {
            return fault(where + " repeats a triangle");
        }
    }
    for (std::size_t number = 0; number < boxes.size(); ++number) {
        for (unsigned position = 0; position < boxes[number].triangleCount(); ++position) {
            if (seen[firstOfBox[number] + position] == 0 &&
                boxes[number].triangle(static_cast<int>(position))->hasFiniteNormal()) {
                return fault("triangle " + std::to_string(position) + " of box " +
                             std::to_string(number) + " is missing");
            }
        }
    }
    // The loose runs: box by box in list order, one after the other after the tree's records.
    std::size_t next = treeTriangleCount_;
    for (std::size_t r = 0; r < looseRuns_.size(); ++r) {
        const LooseRun& run = looseRuns_[r];
        if (run.first != next || (r > 0 && run.box <= looseRuns_[r - 1].box)) {
            return fault("loose run " + std::to_string(r) + " is out of place");
        }
        for (std::uint32_t i = run.first; i < run.first + run.count; ++i) {
            if (placeOf(i, places).box != run.box ||
                (i > run.first && triangles_[i].listed <= triangles_[i - 1].listed)) {
                return fault("loose run " + std::to_string(r) + " holds another box's record");
            }
        }
        next += run.count;
    }
    if (next != triangleCount_) {
        return fault("the loose runs do not end with the records");
    }
    // The tree: every node reached once, holding its children; the leaves cover the tree's
    // records once each, in order, and hold their grown bounds.
    if ((nodeCount_ == 0) != (treeTriangleCount_ == 0)) {
        return fault("a tree without triangles, or triangles without a tree");
    }
    const auto holds = [](const Node& outer, const float* lower, const float* upper) {
        for (int axis = 0; axis < 3; ++axis) {
            if (!(outer.lower[axis] <= lower[axis] && upper[axis] <= outer.upper[axis])) {
                return false;
            }
        }
        return true;
    };
    std::size_t nodesReached = 0;
    std::size_t nextRecord = 0;
    std::vector<std::uint32_t> pending;
    for (std::size_t b = 0; b < branches_.size(); ++b) {
        const Branch& branch = branches_[b];
        const std::string where = "branch " + std::to_string(b);
        if (branch.first != nextRecord || branch.root != nodesReached ||
            branch.end <= branch.first) {
            return fault(where + " is out of place");
        }
        for (std::uint32_t i = branch.first; i < branch.end; ++i) {
            double squared = 0.0;
            for (int axis = 0; axis < 3; ++axis) {
                const double gap = double(triangles_[i].normal[axis]) - branch.normalAxis[axis];
                squared += gap * gap;
            }
            if (!(std::sqrt(squared) <= branch.normalSpread)) {
                return fault(where + "'s cone does not hold the normal of record " +
                             std::to_string(i));
            }
        }
        pending.push_back(branch.root);
        while (!pending.empty()) {
            const std::uint32_t at = pending.back();
            pending.pop_back();
            ++nodesReached;
            const Node& node = nodes_[at];
            const std::string where = "node " + std::to_string(at);
            if (node.count == 0) {
                if (!(node.first > at + 1 && node.first < nodeCount_)) {
                    return fault(where + " has a child out of place");
                }
                for (const std::uint32_t child : {at + 1, node.first}) {
                    if (!holds(node, nodes_[child].lower, nodes_[child].upper)) {
                        return fault(where + " does not hold its child " + std::to_string(child));
                    }
                }
                pending.push_back(node.first);
                pending.push_back(at + 1);
                continue;
            }
            if (node.first != nextRecord || node.first + node.count > treeTriangleCount_) {
                return fault(where + " holds records out of leaf order");
            }
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                const double growth = *contact_reach::triangleGrowth(triangles_[i]);
                float lower[3], upper[3];
                contact_reach::vertexBounds(triangles_[i], lower, upper);
                for (int axis = 0; axis < 3; ++axis) {
                    lower[axis] = roundedDown(double(lower[axis]) - growth);
                    upper[axis] = roundedUp(double(upper[axis]) + growth);
                }
                if (!holds(node, lower, upper)) {
                    return fault(where + " does not hold record " + std::to_string(i));
                }
            }
            nextRecord += node.count;
        }
        if (nextRecord != branch.end) {
            return fault(where + "'s leaves do not cover its records");
        }
    }
    if (nodesReached != nodeCount_ || nextRecord != treeTriangleCount_) {
        return fault("the tree reaches " + std::to_string(nodesReached) + " of " +
                     std::to_string(nodeCount_) + " nodes and " + std::to_string(nextRecord) +
                     " of " + std::to_string(treeTriangleCount_) + " records");
    }
    return std::nullopt;
}

std::size_t ContactIndex::memoryBytes() const {
    return triangleCount_ * sizeof(ContactTriangle) +
           firstListed_.capacity() * sizeof(std::uint32_t) + nodeCount_ * sizeof(Node) +
           looseRuns_.capacity() * sizeof(LooseRun) + branches_.capacity() * sizeof(Branch);
}
