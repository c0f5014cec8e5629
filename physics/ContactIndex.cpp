#include "physics/ContactIndex.h"

#include "physics/ContactReach.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

using contact_reach::SweepReach;

namespace {

// Items per leaf. Four triangles keep the tree a third the size of the triangles' records while
// a leaf still costs less than one triangle's seven tests; boxes are few, two a leaf.
constexpr std::uint32_t trianglesPerLeaf = 4;
constexpr std::uint32_t boxesPerLeaf = 2;
// Boxes up to which a search tests each box's bounds in turn rather than walking the tree over
// them: a room's walls share every upper node of that tree, which a sweep anywhere inside the
// room reaches (measured: the tree costs more up to about a hundred boxes).
constexpr std::size_t boxesScannedInTurn = 64;

// Triangles below which the index is built on the calling thread alone: a few milliseconds of
// work, less than what waiting for another thread to be scheduled can cost on a busy machine.
constexpr std::size_t trianglesForThreads = 4096;

// Deep enough for any tree the median split builds: it halves the items at every level.
constexpr int deepestTree = 64;

} // namespace

using contact_reach::roundedDown;
using contact_reach::roundedUp;

// One item to place in a tree: its grown bounds and what it stands for.
struct ContactIndex::TreeItem {
    float lower[3];
    float upper[3];
    std::uint32_t id;

    double centre(int axis) const { return 0.5 * (double(lower[axis]) + upper[axis]); }
};

std::uint32_t ContactIndex::buildTree(std::vector<Node>& nodes, std::vector<TreeItem>& items,
                                      std::uint32_t leafSize, std::uint32_t firstItem) {
    const auto root = static_cast<std::uint32_t>(nodes.size());
    nodes.emplace_back();
    splitNode(nodes, root, items, 0, static_cast<std::uint32_t>(items.size()), leafSize, firstItem);
    return root;
}

// Fills nodes[nodeIndex] with the items [begin, end): a leaf when they are few, otherwise two
// children split at the median of the items' centres along the axis where the centres spread
// widest. The items are reordered so that every leaf holds a contiguous run of them.
void ContactIndex::splitNode(std::vector<Node>& nodes, std::uint32_t nodeIndex,
                             std::vector<TreeItem>& items, std::uint32_t begin, std::uint32_t end,
                             std::uint32_t leafSize, std::uint32_t firstItem) {
    Node node{};
    double lowestCentre[3];
    double highestCentre[3];
    for (int axis = 0; axis < 3; ++axis) {
        node.lower[axis] = items[begin].lower[axis];
        node.upper[axis] = items[begin].upper[axis];
        lowestCentre[axis] = highestCentre[axis] = items[begin].centre(axis);
    }
    for (std::uint32_t i = begin + 1; i < end; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            node.lower[axis] = std::min(node.lower[axis], items[i].lower[axis]);
            node.upper[axis] = std::max(node.upper[axis], items[i].upper[axis]);
            lowestCentre[axis] = std::min(lowestCentre[axis], items[i].centre(axis));
            highestCentre[axis] = std::max(highestCentre[axis], items[i].centre(axis));
        }
    }
    if (end - begin <= leafSize) {
        node.first = firstItem + begin;
        node.count = end - begin;
        nodes[nodeIndex] = node;
        return;
    }
    int axis = 0;
    for (int other = 1; other < 3; ++other) {
        if (highestCentre[other] - lowestCentre[other] > highestCentre[axis] - lowestCentre[axis]) {
            axis = other;
        }
    }
    const std::uint32_t middle = begin + (end - begin) / 2;
    std::nth_element(
        items.begin() + begin, items.begin() + middle, items.begin() + end,
        [axis](const TreeItem& a, const TreeItem& b) { return a.centre(axis) < b.centre(axis); });
    const auto left = static_cast<std::uint32_t>(nodes.size());
    nodes.emplace_back();
    nodes.emplace_back();
    node.first = left;
    node.count = 0;
    nodes[nodeIndex] = node;
    splitNode(nodes, left, items, begin, middle, leafSize, firstItem);
    splitNode(nodes, left + 1, items, middle, end, leafSize, firstItem);
}

namespace {

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

// The nodes of the tree splitNode builds over `items` items: one leaf for a few, otherwise a
// node over the trees of both halves.
std::size_t nodesFor(std::size_t items, std::size_t leafSize) {
    return items <= leafSize
               ? 1
               : 1 + nodesFor(items / 2, leafSize) + nodesFor(items - items / 2, leafSize);
}

} // namespace

// What indexing one box found, besides the records and nodes it wrote in place.
struct ContactIndex::BoxIndex {
    std::uint32_t looseCount = 0;
    bool hasTree = false;
    float normalAxis[3] = {0.0f, 0.0f, 0.0f};
    float normalSpread = 2.0f;
    // The largest coordinate magnitude of its tree triangles.
    double magnitude = 0.0;
};

ContactIndex::ContactIndex(const std::vector<CollisionBox>& boxes, unsigned threads)
    : boxList_(&boxes), boxListSize_(boxes.size()) {
    std::size_t listed = 0;
    for (const CollisionBox& box : boxes) {
        listed += box.triangleCount();
    }
    if (listed < trianglesForThreads) {
        threads = 1;
    }
    // Room for every box: its non-degenerate triangles' records, and nodes for a tree over all
    // of them (a box whose triangles are partly loose leaves a few unused).
    std::vector<std::uint32_t> usable(boxes.size());
    struct NoScratch {};
    inParallel<NoScratch>(boxes.size(), threads, [&](std::size_t number, NoScratch&) {
        const CollisionBox& box = boxes[number];
        for (unsigned i = 0; i < box.triangleCount(); ++i) {
            usable[number] += box.triangle(static_cast<int>(i))->hasFiniteNormal() ? 1 : 0;
        }
    });
    std::vector<std::size_t> firstNode(boxes.size());
    for (std::size_t number = 0; number < boxes.size(); ++number) {
        BoxEntry entry;
        entry.first = static_cast<std::uint32_t>(triangleCount_);
        entry.count = usable[number];
        boxEntries_.push_back(entry);
        firstNode[number] = nodeCount_;
        triangleCount_ += usable[number];
        nodeCount_ += usable[number] > 0 ? nodesFor(usable[number], trianglesPerLeaf) : 0;
    }
    // Written in place by the threads that index the boxes, so that the fresh memory is first
    // touched there.
    triangles_ = std::make_unique_for_overwrite<ContactTriangle[]>(triangleCount_);
    nodes_ = std::make_unique_for_overwrite<Node[]>(nodeCount_);
    std::vector<BoxIndex> found(boxes.size());
    inParallel<BoxScratch>(boxes.size(), threads, [&](std::size_t number, BoxScratch& scratch) {
        found[number] = indexBox(boxes[number], boxEntries_[number], firstNode[number], scratch);
    });
    for (std::size_t number = 0; number < boxes.size(); ++number) {
        BoxEntry& entry = boxEntries_[number];
        entry.looseCount = found[number].looseCount;
        entry.root = found[number].hasTree ? static_cast<std::uint32_t>(firstNode[number]) : noNode;
        std::copy_n(found[number].normalAxis, 3, entry.normalAxis);
        entry.normalSpread = found[number].normalSpread;
        courseMagnitude_ = std::max(courseMagnitude_, found[number].magnitude);
    }
    buildBoxTree();
}

// A thread's scratch while it indexes boxes, kept from box to box.
struct ContactIndex::BoxScratch {
    std::vector<ContactTriangle> records;
    std::vector<TreeItem> items;
    std::vector<Node> nodes;
};

// Writes the box's records at triangles_[entry.first...] (the tree triangles in leaf order, then
// the loose ones) and its tree at nodes_[firstNode...].
ContactIndex::BoxIndex ContactIndex::indexBox(const CollisionBox& box, const BoxEntry& entry,
                                              std::size_t firstNode, BoxScratch& scratch) {
    std::vector<ContactTriangle>& records = scratch.records;
    std::vector<TreeItem>& items = scratch.items;
    std::vector<Node>& nodes = scratch.nodes;
    records.clear();
    items.clear();
    nodes.clear();

    BoxIndex found;
    std::uint32_t next = entry.first + entry.count; // loose records are written from the end
    const unsigned count = box.triangleCount();
    for (unsigned position = 0; position < count; ++position) {
        const Triangle& triangle = *box.triangle(static_cast<int>(position));
        if (!triangle.hasFiniteNormal()) {
            continue; // degenerate: the search skips it
        }
        ContactTriangle record = ContactTriangle::of(triangle, position);
        const std::optional<double> growth = contact_reach::triangleGrowth(record);
        if (!growth) {
            triangles_[--next] = record;
            ++found.looseCount;
            continue;
        }
        record.reachGrowth = roundedUp(*growth);
        record.normalError = roundedUp(contact_reach::normalError(record));
        TreeItem item{};
        contact_reach::vertexBounds(record, item.lower, item.upper);
        for (int axis = 0; axis < 3; ++axis) {
            item.lower[axis] = roundedDown(double(item.lower[axis]) - *growth);
            item.upper[axis] = roundedUp(double(item.upper[axis]) + *growth);
        }
        for (const float* corner : record.vertex) {
            found.magnitude = std::max(found.magnitude, contact_reach::magnitude(corner));
        }
        item.id = static_cast<std::uint32_t>(records.size());
        records.push_back(record);
        items.push_back(item);
    }
    // The loose records came in from the end: put them back in list order.
    std::reverse(triangles_.get() + next, triangles_.get() + entry.first + entry.count);
    if (items.empty()) {
        return found;
    }
    found.hasTree = true;
    boundNormals(records, found);
    buildTree(nodes, items, trianglesPerLeaf, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        triangles_[entry.first + i] = records[items[i].id];
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        Node node = nodes[i];
        node.first += static_cast<std::uint32_t>(node.count > 0 ? entry.first : firstNode);
        nodes_[firstNode + i] = node;
    }
    return found;
}

// The cone around the records' normals: their mean direction, rounded to float, and the largest
// distance of a normal from it, rounded up with room for the rounding of the distances.
void ContactIndex::boundNormals(const std::vector<ContactTriangle>& records, BoxIndex& found) {
    double sum[3] = {0.0, 0.0, 0.0};
    for (const ContactTriangle& record : records) {
        for (int axis = 0; axis < 3; ++axis) {
            sum[axis] += record.normal[axis];
        }
    }
    const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    if (!(length > 0.0)) {
        return; // normals that cancel: no cone narrower than the whole sphere
    }
    double widest = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        found.normalAxis[axis] = static_cast<float>(sum[axis] / length);
    }
    for (const ContactTriangle& record : records) {
        double squared = 0.0;
        for (int axis = 0; axis < 3; ++axis) {
            const double gap = double(record.normal[axis]) - found.normalAxis[axis];
            squared += gap * gap;
        }
        widest = std::max(widest, squared);
    }
    found.normalSpread = std::min(2.0f, roundedUp(std::sqrt(widest) * (1.0 + 1e-9) + 1e-9));
}

void ContactIndex::buildBoxTree() {
    std::vector<TreeItem> treeBoxes;
    for (std::size_t number = 0; number < boxEntries_.size(); ++number) {
        const BoxEntry& entry = boxEntries_[number];
        if (entry.looseCount > 0) {
            looseBoxes_.push_back(static_cast<std::uint32_t>(number));
        } else if (entry.root != noNode) {
            TreeItem item{};
            std::copy_n(nodes_[entry.root].lower, 3, item.lower);
            std::copy_n(nodes_[entry.root].upper, 3, item.upper);
            item.id = static_cast<std::uint32_t>(number);
            treeBoxes.push_back(item);
        }
        // A box without any non-degenerate triangle contributes nothing and is left out.
    }
    if (!treeBoxes.empty()) {
        buildTree(boxNodes_, treeBoxes, boxesPerLeaf, 0);
        for (const TreeItem& item : treeBoxes) {
            treeBoxes_.push_back(item.id);
        }
    }
}

bool ContactIndex::isBuiltFor(const std::vector<CollisionBox>& boxes) const {
    return &boxes == boxList_ && boxes.size() == boxListSize_;
}

namespace {

// Calls visit(first, count) for every leaf of the tree at `root` whose bounds the sweep may
// reach, depth first, until a visit returns false; returns false then.
template <class Node, class Visit>
bool forEachReachedLeaf(const Node* nodes, std::uint32_t root, const SweepReach& sweep,
                        Visit visit) {
    std::uint32_t pending[deepestTree];
    int top = 0;
    pending[top++] = root;
    while (top > 0) {
        const Node& node = nodes[pending[--top]];
        if (!contact_reach::mayReach(sweep, node.lower, node.upper)) {
            continue;
        }
        if (node.count > 0) {
            if (!visit(node.first, node.count)) {
                return false;
            }
        } else {
            pending[top++] = node.first + 1;
            pending[top++] = node.first;
        }
    }
    return true;
}

// The place in merging order of the triangle at `position` in box `number`.
std::uint64_t mergeOrder(std::uint32_t number, std::uint32_t position) {
    return std::uint64_t{number} << 32 | position;
}

} // namespace

bool ContactIndex::collectCandidates(const BallMove& move, float epsilon,
                                     const std::vector<CollisionBox>& boxes,
                                     ContactCandidates& candidates, std::size_t most) const {
    candidates.triangles.clear();
    std::optional<SweepReach>& sweep = candidates.sweep;
    if (!contact_reach::sweepReach(move, epsilon, courseMagnitude_, sweep.emplace())) {
        sweep.reset();
        collectEveryTriangle(move, epsilon, boxes, candidates.triangles);
        return true;
    }

    std::vector<std::uint32_t>& searched = candidates.boxes;
    searchedBoxes(move, epsilon, boxes, *sweep, searched);
    for (const std::uint32_t number : searched) {
        if (!collectBox(number, move, *sweep, candidates.triangles, most)) {
            return false;
        }
    }
    return true;
}

void ContactIndex::searchedBoxes(const BallMove& move, float epsilon,
                                 const std::vector<CollisionBox>& boxes, SweepReach& sweep,
                                 std::vector<std::uint32_t>& searched) const {
    searched.clear();
    const auto accept = [&](std::uint32_t number) {
        if (boxes[number].overlapsSweep(move.from, move.to, move.radius, epsilon)) {
            searched.push_back(number);
        }
    };
    if (treeBoxes_.size() <= boxesScannedInTurn) {
        for (const std::uint32_t number : treeBoxes_) {
            const Node& root = nodes_[boxEntries_[number].root];
            if (contact_reach::boundsMayReach(sweep, root.lower, root.upper)) {
                accept(number);
            }
        }
    } else {
        contact_reach::prepareSlabs(sweep);
        forEachReachedLeaf(boxNodes_.data(), 0, sweep,
                           [&](std::uint32_t first, std::uint32_t count) {
                               for (std::uint32_t i = first; i < first + count; ++i) {
                                   accept(treeBoxes_[i]);
                               }
                               return true;
                           });
    }
    for (const std::uint32_t number : looseBoxes_) {
        accept(number);
    }
    if (!searched.empty() && treeBoxes_.size() <= boxesScannedInTurn) {
        contact_reach::prepareSlabs(sweep); // the walk over the box tree prepared them already
    }
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
// order gives the exhaustive result. A box that the box test rejects is never entered, as the
// exhaustive search skips it too.
void ContactIndex::searchEarliestFirst(
    const BallMove& move, float epsilon, const ContactCandidates& collected,
    const std::function<TriangleContacts(const ContactTriangle&)>& test,
    EarliestFirstSearch& search) const {
    using Pending = EarliestFirstSearch::Pending;
    constexpr int nodeStage = -1;
    constexpr int boundStage = 0;
    constexpr int testStage = 1;
    search.tested.clear();
    search.resultTimes.clear();
    std::vector<Pending>& pending = search.pending;
    pending.clear();
    const auto later = [](const Pending& a, const Pending& b) { return a.bound > b.bound; };
    const auto push = [&](double bound, std::uint32_t item, std::uint32_t box, int stage) {
        if (bound <= 1.0) { // otherwise no result below 1 can come of it
            pending.push_back({bound, item, box, stage});
            std::push_heap(pending.begin(), pending.end(), later);
        }
    };

    // collectCandidates stops at its limit only for a move it can cull.
    const SweepReach& sweep = collected.sweep.value();
    for (const std::uint32_t number : collected.boxes) {
        const BoxEntry& entry = boxEntries_[number];
        if (entry.root != noNode && !leavesEveryFace(move, entry)) {
            const Node& root = nodes_[entry.root];
            push(contact_reach::earliestNearBox(sweep, root.lower, root.upper, sweep.reach),
                 entry.root, number, nodeStage);
        }
        for (std::uint32_t i = entry.firstLoose(); i < entry.first + entry.count; ++i) {
            push(0.0, i, number, testStage); // no bound for a loose triangle
        }
    }

    const double gap = 2.0 * std::max(0.0, double(epsilon));
    double smallest = noContact;
    while (!pending.empty()) {
        const double front = pending.front().bound;
        if (smallest < front - gap &&
            std::none_of(search.resultTimes.begin(), search.resultTimes.end(),
                         [&](float t) { return t >= front - gap && t < front; })) {
            break; // nothing left can change the merge
        }
        std::pop_heap(pending.begin(), pending.end(), later);
        const Pending next = pending.back();
        pending.pop_back();
        if (next.stage == nodeStage) {
            const Node& node = nodes_[next.item];
            if (node.count == 0) {
                for (std::uint32_t child = node.first; child <= node.first + 1; ++child) {
                    const Node& c = nodes_[child];
                    push(std::max(next.bound, contact_reach::earliestNearBox(sweep, c.lower,
                                                                             c.upper, sweep.reach)),
                         child, next.box, nodeStage);
                }
                continue;
            }
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                const ContactTriangle& triangle = triangles_[i];
                if (contact_reach::leavesFront(move, triangle)) {
                    continue; // its tests all report nothing
                }
                float lower[3], upper[3];
                contact_reach::vertexBounds(triangle, lower, upper);
                const double bound =
                    std::max({next.bound,
                              contact_reach::earliestNearBox(sweep, lower, upper,
                                                             sweep.reach + triangle.reachGrowth),
                              contact_reach::earliestNearPlane(triangle, sweep)});
                push(bound, i, next.box, boundStage);
            }
            continue;
        }
        const ContactTriangle& triangle = triangles_[next.item];
        if (next.stage < testStage) {
            push(std::max(next.bound, contact_reach::earliestNearTriangle(triangle, sweep)),
                 next.item, next.box, testStage);
            continue;
        }
        const TriangleContacts results = test(triangle);
        bool any = false;
        for (const float t : results.time) {
            if (t < noContact) {
                search.resultTimes.push_back(t);
                smallest = std::min(smallest, double(t));
                any = true;
            }
        }
        if (any) { // a triangle without a result merges as nothing
            search.tested.emplace_back(mergeOrder(next.box, triangle.position), results);
        }
    }
    std::sort(search.tested.begin(), search.tested.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

// Appends the box's triangles that the sweep may touch. A triangle whose face the move leaves
// (D . n > 0, rounded as its tests round it) reports nothing and is left out.
bool ContactIndex::collectBox(std::uint32_t number, const BallMove& move, const SweepReach& sweep,
                              std::vector<ContactCandidate>& triangles, std::size_t most) const {
    const BoxEntry& entry = boxEntries_[number];
    if (entry.root != noNode && !leavesEveryFace(move, entry)) {
        const bool all = forEachReachedLeaf(
            nodes_.get(), entry.root, sweep, [&](std::uint32_t first, std::uint32_t count) {
                for (std::uint32_t i = first; i < first + count; ++i) {
                    const ContactTriangle& triangle = triangles_[i];
                    if (contact_reach::leavesFront(move, triangle)) {
                        continue; // its tests all report nothing
                    }
                    if (contact_reach::mayTouch(triangle, triangle.reachGrowth, sweep)) {
                        triangles.push_back({mergeOrder(number, triangle.position), &triangle});
                    }
                }
                return triangles.size() <= most;
            });
        if (!all) {
            return false;
        }
    }
    for (std::uint32_t i = entry.firstLoose(); i < entry.first + entry.count; ++i) {
        triangles.push_back({mergeOrder(number, triangles_[i].position), &triangles_[i]});
    }
    return triangles.size() <= most;
}

// Whether the move leaves the front of every tree triangle of the box, as each one's tests
// judge it (D . n > 0 rounded to float): then none of them reports anything. For a normal n
// within s of the cone's axis a, D . n >= D . a - |D| s; a little more than that being positive
// keeps the tests' own double sum and its rounding to float above zero.
bool ContactIndex::leavesEveryFace(const BallMove& move, const BoxEntry& entry) {
    const double d[3] = {move.delta.x, move.delta.y, move.delta.z};
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double along =
        d[0] * entry.normalAxis[0] + d[1] * entry.normalAxis[1] + d[2] * entry.normalAxis[2];
    return along - length * entry.normalSpread > length * 1e-12 + 1e-37;
}

void ContactIndex::collectEveryTriangle(const BallMove& move, float epsilon,
                                        const std::vector<CollisionBox>& boxes,
                                        std::vector<ContactCandidate>& triangles) const {
    for (std::uint32_t number = 0; number < boxEntries_.size(); ++number) {
        if (!boxes[number].overlapsSweep(move.from, move.to, move.radius, epsilon)) {
            continue;
        }
        const BoxEntry& entry = boxEntries_[number];
        for (std::uint32_t i = entry.first; i < entry.first + entry.count; ++i) {
            triangles.push_back({mergeOrder(number, triangles_[i].position), &triangles_[i]});
        }
    }
}

std::size_t ContactIndex::memoryBytes() const {
    return triangleCount_ * sizeof(ContactTriangle) + nodeCount_ * sizeof(Node) +
           boxEntries_.capacity() * sizeof(BoxEntry) + boxNodes_.capacity() * sizeof(Node) +
           (treeBoxes_.capacity() + looseBoxes_.capacity()) * sizeof(std::uint32_t);
}
