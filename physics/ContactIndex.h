#pragma once

#include "physics/Contact.h"
#include "physics/ContactReach.h"
#include "physics/ContactTriangle.h"
#include "scene/CollisionBox.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A candidate triangle and its place in merging order: its box's number in the high 32 bits,
// its position in that box in the low 32.
struct ContactCandidate {
    std::uint64_t order;
    const ContactTriangle* triangle;
};

// What one search collects: the candidate triangles (in no particular order: sort them by
// `order` to merge) and, on the way, the boxes searched with the move's share of the culling
// margin, which a search earliest first goes on from. The caller keeps one from search to
// search, which spares an allocation per pass.
struct ContactCandidates {
    std::vector<ContactCandidate> triangles;
    std::vector<std::uint32_t> boxes;
    // The move's share of the culling margin, when the move could be culled at all.
    std::optional<contact_reach::SweepReach> sweep;
};

// What a search earliest first keeps from pass to pass (to spare allocations): its queue, the
// triangles it tested with their results, and the results' times.
struct EarliestFirstSearch {
    struct Pending {
        double bound;       // no result of what this stands for lies below it
        std::uint32_t item; // a node or a triangle record of the index
        std::uint32_t box;
        int stage; // a node, or a triangle with its first bound or its tightest
    };
    std::vector<Pending> pending;
    // Every triangle tested that reported a contact: its place in merging order and its results.
    std::vector<std::pair<std::uint64_t, TriangleContacts>> tested;
    std::vector<float> resultTimes;
};

// Picks, for one pass of the step, the triangles that can possibly report a contact: a bounding-
// volume hierarchy over the collision boxes and, inside each box, one over its triangles, built
// once after the course is read and only read while the ball flies.
//
// The candidates are flat records of the same floats the triangles hold, each with its place in
// the exhaustive search's order (boxes in list order, triangles in list order within a box), so
// merging their seven tests in that order gives exactly the exhaustive search's result. A box is
// searched only when its own sweep test (CollisionBox::overlapsSweep) accepts it, exactly as the
// exhaustive search does; the index leaves out only boxes and triangles that lie beyond the reach
// of every one of their tests (see ContactReach.h). Degenerate triangles, which take part in no
// contact, are left out too.
class ContactIndex {
public:
    // Indexes the boxes as they are now; neither they nor the list may change afterwards. The
    // boxes are indexed on `threads` threads, the calling one included (0: one per core; a
    // course of a few thousand triangles only on the calling one); the index is the same
    // whatever the number.
    explicit ContactIndex(const std::vector<CollisionBox>& boxes, unsigned threads = 0);

    // Whether this is the box list the index was built from (the same list object, the same
    // number of boxes).
    bool isBuiltFor(const std::vector<CollisionBox>& boxes) const;

    // Replaces candidates.triangles by the triangles to test on the move. `boxes` must be the
    // list the index was built for; `epsilon` is the settings' tolerance. Stops, returning false,
    // as soon as there are more than `most` (candidates.triangles then holds only some, and
    // searchEarliestFirst can go on from the rest of `candidates`). A move the index cannot cull
    // (see contact_reach::sweepReach) gets every triangle of every box the box test accepts,
    // whatever `most`: ordering them would spare nothing.
    bool collectCandidates(const BallMove& move, float epsilon,
                           const std::vector<CollisionBox>& boxes, ContactCandidates& candidates,
                           std::size_t most = SIZE_MAX) const;

    // Tests the triangles that can report a contact on the move with `test`, earliest first by
    // lower bounds of their results, and stops once no untested triangle can change the merge of
    // the results; search.tested then holds, in merging order, every tested triangle that reported
    // a contact: merging them in that order, from no contact, gives exactly what merging every
    // triangle of every box the sweep overlaps gives. Goes on from `collected`, what
    // collectCandidates found for the same move when it stopped at its limit (its boxes and the
    // move's share of the margin); `epsilon` is the settings' tolerance, of the merge.
    void searchEarliestFirst(const BallMove& move, float epsilon,
                             const ContactCandidates& collected,
                             const std::function<TriangleContacts(const ContactTriangle&)>& test,
                             EarliestFirstSearch& search) const;

    // The triangles indexed (every non-degenerate triangle of every box, once per box holding it).
    std::size_t triangleCount() const { return triangleCount_; }
    // Bytes the index keeps on the heap.
    std::size_t memoryBytes() const;

private:
    // A node of a tree: its bounds (every item below, grown by the items' share of the culling
    // margin) and either two children (at `first` and `first + 1`, count 0) or `count` items
    // starting at `first`.
    struct Node {
        float lower[3];
        std::uint32_t first;
        float upper[3];
        std::uint32_t count;
    };

    struct BoxEntry {
        // Root of the box's triangle tree in nodes_, or none when every triangle is loose.
        std::uint32_t root = noNode;
        // Every triangle of the box, tree and loose, at triangles_[first, first + count).
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        // Triangles that cannot be culled (non-finite or huge coordinates), the last of the box:
        // tested whenever the box is.
        std::uint32_t looseCount = 0;
        // A cone around the normals of the tree triangles: every such normal lies within
        // `normalSpread` (a distance between unit vectors) of the unit `normalAxis`. A move that
        // leaves the front of every one of them skips the tree.
        float normalAxis[3] = {0.0f, 0.0f, 0.0f};
        float normalSpread = 2.0f;

        std::uint32_t firstLoose() const { return first + count - looseCount; }
    };

    static constexpr std::uint32_t noNode = 0xffffffffu;

    struct TreeItem;
    struct BoxIndex;
    struct BoxScratch;
    // Appends a tree over `items` to `nodes`, reordering the items into leaf order; its leaves
    // count items from `firstItem`. Returns the root.
    static std::uint32_t buildTree(std::vector<Node>& nodes, std::vector<TreeItem>& items,
                                   std::uint32_t leafSize, std::uint32_t firstItem);
    static void splitNode(std::vector<Node>& nodes, std::uint32_t nodeIndex,
                          std::vector<TreeItem>& items, std::uint32_t begin, std::uint32_t end,
                          std::uint32_t leafSize, std::uint32_t firstItem);

    BoxIndex indexBox(const CollisionBox& box, const BoxEntry& entry, std::size_t firstNode,
                      BoxScratch& scratch);
    static void boundNormals(const std::vector<ContactTriangle>& records, BoxIndex& found);
    static bool leavesEveryFace(const BallMove& move, const BoxEntry& entry);
    // The boxes a search looks into: those the sweep may reach whose own test accepts them.
    void searchedBoxes(const BallMove& move, float epsilon, const std::vector<CollisionBox>& boxes,
                       contact_reach::SweepReach& sweep,
                       std::vector<std::uint32_t>& searched) const;
    void buildBoxTree();
    bool collectBox(std::uint32_t number, const BallMove& move,
                    const contact_reach::SweepReach& sweep,
                    std::vector<ContactCandidate>& triangles, std::size_t most) const;
    void collectEveryTriangle(const BallMove& move, float epsilon,
                              const std::vector<CollisionBox>& boxes,
                              std::vector<ContactCandidate>& triangles) const;

    const std::vector<CollisionBox>* boxList_ = nullptr;
    std::size_t boxListSize_ = 0;
    // The largest coordinate magnitude of the indexed triangles, course units.
    double courseMagnitude_ = 0.0;
    // Box by box, each box's tree triangles in leaf order and then its loose ones; written in
    // place by the threads that index the boxes.
    std::unique_ptr<ContactTriangle[]> triangles_;
    std::size_t triangleCount_ = 0;
    // Box by box, each box's tree.
    std::unique_ptr<Node[]> nodes_;
    std::size_t nodeCount_ = 0;
    std::vector<BoxEntry> boxEntries_;
    // The tree over the boxes that have a triangle tree and no loose triangle; its leaves hold
    // box numbers at treeBoxes_[first, first + count).
    std::vector<Node> boxNodes_;
    std::vector<std::uint32_t> treeBoxes_;
    // Boxes with loose triangles: their sweep test is made on every pass.
    std::vector<std::uint32_t> looseBoxes_;
};
