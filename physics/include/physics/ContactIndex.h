#pragma once

#include "physics/Contact.h"
#include "physics/ContactTriangle.h"
#include "physics/SweepReach.h"
#include "scene/CollisionBox.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ContactIndex;

// The box of a triangle the contact index holds, and its position in the box.
struct ContactIndexPlace {
    std::uint32_t box;
    std::uint32_t position;
};

// A candidate triangle and its place in merging order: its box's number in the high 32 bits,
// its position in that box in the low 32.
struct ContactCandidate {
    std::uint64_t order;
    const ContactTriangle* triangle;
};

// What the queries through one search context visited, summed since the last reset.
struct ContactSearchStatistics {
    // Moves queried (a query that goes on with the move of the one before counts once).
    std::uint64_t passes = 0;
    // Tree nodes whose bounds were measured against the sweep.
    std::uint64_t nodesVisited = 0;
    // Triangles reached in a leaf and bounded (the cheap rejections before their tests).
    std::uint64_t trianglesBounded = 0;
    // Triangles whose seven tests ran.
    std::uint64_t trianglesTested = 0;
};

// The caller's scratch for the queries of a ContactIndex: what one pass collects and tests, the
// box tests it has made, and the statistics. The index itself is only read, so one index serves
// many threads, each with a context of its own; a context is kept from pass to pass to spare
// allocations, and may serve several indexes in turn.
class ContactSearch {
public:
    // What collectCandidates found: the triangles to test (in no particular order: sort them by
    // `order` to merge), pointing at the index's own records.
    std::vector<ContactCandidate> triangles;
    // What searchEarliestFirst found: in merging order, every tested triangle that reported a
    // contact, with its results.
    std::vector<std::pair<std::uint64_t, TriangleContacts>> tested;
    ContactSearchStatistics statistics;

    // The seven tests of `count` more triangles ran (the caller runs them for collectCandidates).
    void countTested(std::size_t count) { statistics.trianglesTested += count; }
    void resetStatistics() { statistics = {}; }

private:
    friend class ContactIndex;

    // An entry of the earliest-first queue: no result of what it stands for lies below `bound`.
    struct QueueEntry {
        enum class Kind : std::uint8_t {
            node,          // a tree node, bounded by the rounded box around its bounds
            roughTriangle, // a triangle bounded by its own box and its plane's band
            tightTriangle, // a triangle bounded by the triangle itself: next, its tests
        };
        double bound;
        std::uint32_t item; // a node or a triangle record of the index
        Kind kind;
    };

    // The pass the box tests below belong to: the index and the move.
    const ContactIndex* index_ = nullptr;
    Vector3 from_, to_;
    float radius_ = 0.0f;
    float epsilon_ = 0.0f;
    // The move's share of the culling margin (when the move can be culled), and whether its
    // slab reciprocals are ready: a move that reaches no branch's bounds never needs them.
    contact_reach::SweepReach sweep_;
    bool slabsReady_ = false;
    // Box by box, the pass at which its sweep test was made and what it said; a test of an
    // earlier pass counts for nothing. Pass numbers only grow (all stamps are cleared when they
    // run out).
    std::vector<std::uint32_t> boxPass_;
    std::vector<std::uint8_t> boxAccepted_;
    std::uint32_t pass_ = 0;
    std::vector<QueueEntry> queue_;
    std::vector<float> resultTimes_;
    // The indexed triangles collectCandidates collects, before they are handed out.
    std::vector<std::uint32_t> collected_;
    // The box of the triangle placed last: the next one is most likely in it too.
    std::uint32_t lastBox_ = 0;
};

// The names the tools use for the context when they only collect candidates.
using ContactCandidates = ContactSearch;

// Picks, for one pass of the step, the triangles that can possibly report a contact: one
// bounding-volume hierarchy over every triangle of the course, built once after the course is
// read and only read while the ball flies. Its root parts the triangles by the way their normals
// lean (a room's walls, a terrain's slopes), so that a branch is both compact in space and
// skipped whole by a move that leaves the front of all its faces; below, each branch is split at
// the median of its triangles' centres.
//
// The candidates are flat records of the same floats the triangles hold, each with its place in
// the exhaustive search's order (boxes in list order, triangles in list order within a box), so
// merging their seven tests in that order gives exactly the exhaustive search's result. A
// triangle takes part only when its box's own sweep test (CollisionBox::overlapsSweep) accepts
// the move, exactly as in the exhaustive search; that test is made at most once per box per pass,
// when the first triangle of the box is reached. The index leaves out only triangles that lie
// beyond the reach of every one of their tests (see ContactReach.h). Degenerate triangles, which
// take part in no contact, are left out too.
class ContactIndex {
public:
    // Indexes the boxes as they are now; neither they nor the list may change afterwards. Built
    // on `threads` threads, the calling one included (0: one per core; a course of a few
    // thousand triangles only on the calling one); the index is the same whatever the number.
    explicit ContactIndex(const std::vector<CollisionBox>& boxes, unsigned threads = 0);

    // Whether this is the box list the index was built from (the same list object, the same
    // number of boxes).
    bool isBuiltFor(const std::vector<CollisionBox>& boxes) const;

    // Replaces search.triangles by the triangles to test on the move. `boxes` must be the list
    // the index was built for; `epsilon` is the settings' tolerance. Stops, returning false, as
    // soon as there are more than `most` (search.triangles then holds only some, and
    // searchEarliestFirst can go on with the same context). A move the index cannot cull (see
    // contact_reach::sweepReach) gets every triangle of every box the box test accepts,
    // whatever `most`: ordering them would spare nothing.
    bool collectCandidates(const BallMove& move, float epsilon,
                           const std::vector<CollisionBox>& boxes, ContactSearch& search,
                           std::size_t most = SIZE_MAX) const;

    // Tests the triangles that can report a contact on the move with `test`, earliest first by
    // lower bounds of their results, and stops once no untested triangle can change the merge of
    // the results; search.tested then holds, in merging order, every tested triangle that
    // reported a contact: merging them in that order, from no contact, gives exactly what merging
    // every triangle of every box the sweep overlaps gives. Box tests already made for the same
    // move by collectCandidates with this context are not made again. For a move the index can
    // cull only (collectCandidates says which, by returning false at its limit).
    void searchEarliestFirst(const BallMove& move, float epsilon,
                             const std::vector<CollisionBox>& boxes,
                             const std::function<TriangleContacts(const ContactTriangle&)>& test,
                             ContactSearch& search) const;

    // Checks the index against the boxes it was built from: every node holds its children's
    // bounds and the grown bounds of its triangles, every non-degenerate triangle of every box
    // appears exactly once, with its box and position, and nothing else does. Returns the first
    // fault found, or nothing.
    std::optional<std::string> validate(const std::vector<CollisionBox>& boxes) const;

    // The triangles indexed (every non-degenerate triangle of every box, once per box holding it).
    std::size_t triangleCount() const { return triangleCount_; }
    // Bytes the index keeps on the heap.
    std::size_t memoryBytes() const;

private:
    class Builder;
    using QueueEntry = ContactSearch::QueueEntry;

    // A node of the tree: its bounds (every triangle below, grown by the triangle's share of the
    // culling margin) and either two children (the next node, and the one at `first`; count 0)
    // or `count` triangle records starting at `first`.
    struct Node {
        float lower[3];
        std::uint32_t first;
        float upper[3];
        std::uint32_t count;
    };

    // The triangles of one box that cannot be culled (non-finite or huge coordinates): tested
    // whenever the box's test accepts the move, records [first, first + count).
    struct LooseRun {
        std::uint32_t box;
        std::uint32_t first;
        std::uint32_t count;
    };

    // A branch of the root: the tree of the triangles whose normals lean most towards one of
    // +x, -x, +y, -y, +z, -z, its nodes from `root` on; and a cone around those normals: every
    // one lies within `normalSpread` (a distance between unit vectors) of the unit `normalAxis`.
    // A move that leaves the front of every one of them skips the branch.
    struct Branch {
        std::uint32_t root;
        std::uint32_t first; // its records [first, end)
        std::uint32_t end;
        float normalAxis[3];
        float normalSpread;
    };

    using Place = ContactIndexPlace;
    Place placeOf(std::uint32_t record, ContactSearch& search) const;
    std::uint64_t mergeOrder(std::uint32_t record, ContactSearch& search) const {
        const Place place = placeOf(record, search);
        return std::uint64_t{place.box} << 32 | place.position;
    }
    // Points search.triangles at the records of the triangles collected (search.collected_), in
    // the same order.
    void handOutRecords(ContactSearch& search) const;

    // The steps of a query, in the order of the proof beside searchEarliestFirst.
    bool beginPass(const BallMove& move, float epsilon, ContactSearch& search) const;
    bool boxTakesPart(std::uint32_t box, const BallMove& move,
                      const std::vector<CollisionBox>& boxes, ContactSearch& search) const;
    bool mayReportOnMove(std::uint32_t record, const BallMove& move,
                         const std::vector<CollisionBox>& boxes, ContactSearch& search) const;
    void seed(const BallMove& move, const std::vector<CollisionBox>& boxes,
              ContactSearch& search) const;
    void expandNode(const QueueEntry& entry, const BallMove& move,
                    const std::vector<CollisionBox>& boxes, ContactSearch& search) const;
    void tightenBound(const QueueEntry& entry, ContactSearch& search) const;
    void testTriangle(const QueueEntry& entry,
                      const std::function<TriangleContacts(const ContactTriangle&)>& test,
                      ContactSearch& search, double& smallest) const;
    static bool leavesEveryFace(const BallMove& move, const Branch& branch);
    static bool canStop(const ContactSearch& search, double smallest, double gap);
    static void enqueue(ContactSearch& search, double bound, std::uint32_t item,
                        QueueEntry::Kind kind);
    void collectEveryTriangle(const BallMove& move, const std::vector<CollisionBox>& boxes,
                              ContactSearch& search) const;

    const std::vector<CollisionBox>* boxList_ = nullptr;
    std::size_t boxListSize_ = 0;
    // The largest coordinate magnitude of the indexed triangles, course units.
    double courseMagnitude_ = 0.0;
    // The records of the tree's triangles in leaf order, then of the loose ones box by box;
    // written in place by the threads that build the index.
    std::unique_ptr<ContactTriangle[]> triangles_;
    // Box by box, the merging-order number (ContactTriangle::listed) of its first triangle, and
    // after the last box the number of triangles listed.
    std::vector<std::uint32_t> firstListed_;
    std::size_t triangleCount_ = 0;
    std::size_t treeTriangleCount_ = 0;
    // The tree: the root's branches (none when no triangle can be culled), and their nodes one
    // branch after the other.
    std::vector<Branch> branches_;
    std::unique_ptr<Node[]> nodes_;
    std::size_t nodeCount_ = 0;
    std::vector<LooseRun> looseRuns_;
};
