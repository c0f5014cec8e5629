#include "physics/ContactIndex.h"

#include "physics/ContactReach.h"

#include <algorithm>
#include <cmath>

using contact_reach::SweepReach;

namespace {

// Items per leaf. Four triangles keep the tree a third the size of the triangles' records while
// a leaf still costs less than one triangle's seven tests; boxes are few, two a leaf.
constexpr std::uint32_t trianglesPerLeaf = 4;
constexpr std::uint32_t boxesPerLeaf = 2;
// Boxes up to which a search tests each box's bounds in turn rather than walking the tree over
// them: a room's few walls share every upper node of that tree, which a sweep anywhere inside
// the room reaches.
constexpr std::size_t boxesScannedInTurn = 16;

// Deep enough for any tree the median split builds: it halves the items at every level.
constexpr int deepestTree = 64;

// The float nearest below (above) a double: bounds rounded outward.
float roundedDown(double value) {
    const float rounded = static_cast<float>(value);
    return double(rounded) > value ? std::nextafter(rounded, -HUGE_VALF) : rounded;
}

float roundedUp(double value) {
    const float rounded = static_cast<float>(value);
    return double(rounded) < value ? std::nextafter(rounded, HUGE_VALF) : rounded;
}

} // namespace

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
    splitNode(nodes, root, items, 0, static_cast<std::uint32_t>(items.size()), leafSize,
              firstItem);
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
    std::nth_element(items.begin() + begin, items.begin() + middle, items.begin() + end,
                     [axis](const TreeItem& a, const TreeItem& b) {
                         return a.centre(axis) < b.centre(axis);
                     });
    const auto left = static_cast<std::uint32_t>(nodes.size());
    nodes.emplace_back();
    nodes.emplace_back();
    node.first = left;
    node.count = 0;
    nodes[nodeIndex] = node;
    splitNode(nodes, left, items, begin, middle, leafSize, firstItem);
    splitNode(nodes, left + 1, items, middle, end, leafSize, firstItem);
}

ContactIndex::ContactIndex(const std::vector<CollisionBox>& boxes)
    : boxList_(&boxes), boxListSize_(boxes.size()) {
    for (std::size_t number = 0; number < boxes.size(); ++number) {
        indexBox(boxes[number]);
    }

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
    triangles_.shrink_to_fit();
    nodes_.shrink_to_fit();
}

void ContactIndex::indexBox(const CollisionBox& box) {
    BoxEntry entry;
    entry.first = static_cast<std::uint32_t>(triangles_.size());
    std::vector<ContactTriangle> treeTriangles;
    std::vector<ContactTriangle> looseTriangles;
    std::vector<TreeItem> items;
    const unsigned count = box.triangleCount();
    for (unsigned position = 0; position < count; ++position) {
        const Triangle& triangle = *box.triangle(static_cast<int>(position));
        if (!triangle.hasFiniteNormal()) {
            continue; // degenerate: the search skips it
        }
        ContactTriangle record = ContactTriangle::of(triangle, position);
        TreeItem item{};
        if (const std::optional<double> growth = contact_reach::triangleGrowth(record)) {
            record.reachGrowth = roundedUp(*growth);
            record.normalError = roundedUp(contact_reach::normalError(record));
            contact_reach::vertexBounds(record, item.lower, item.upper);
            for (int axis = 0; axis < 3; ++axis) {
                item.lower[axis] = roundedDown(double(item.lower[axis]) - *growth);
                item.upper[axis] = roundedUp(double(item.upper[axis]) + *growth);
            }
            item.id = static_cast<std::uint32_t>(treeTriangles.size());
            treeTriangles.push_back(record);
            items.push_back(item);
            for (int v = 0; v < 3; ++v) {
                courseMagnitude_ = std::max(courseMagnitude_, contact_reach::magnitude(record.vertex[v]));
            }
        } else {
            looseTriangles.push_back(record);
        }
    }
    if (!items.empty()) {
        entry.root = buildTree(nodes_, items, trianglesPerLeaf, entry.first);
        for (const TreeItem& item : items) {
            triangles_.push_back(treeTriangles[item.id]);
        }
    }
    entry.firstLoose = static_cast<std::uint32_t>(triangles_.size());
    entry.looseCount = static_cast<std::uint32_t>(looseTriangles.size());
    triangles_.insert(triangles_.end(), looseTriangles.begin(), looseTriangles.end());
    entry.count = static_cast<std::uint32_t>(triangles_.size()) - entry.first;
    boxEntries_.push_back(entry);
}

bool ContactIndex::isBuiltFor(const std::vector<CollisionBox>& boxes) const {
    return &boxes == boxList_ && boxes.size() == boxListSize_;
}

namespace {

// Calls visit(first, count) for every leaf of the tree at `root` whose bounds the sweep may
// reach, depth first.
template <class Node, class Visit>
void forEachReachedLeaf(const std::vector<Node>& nodes, std::uint32_t root, const SweepReach& sweep,
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
            visit(node.first, node.count);
        } else {
            pending[top++] = node.first + 1;
            pending[top++] = node.first;
        }
    }
}

// The place in merging order of the triangle at `position` in box `number`.
std::uint64_t mergeOrder(std::uint32_t number, std::uint32_t position) {
    return std::uint64_t{number} << 32 | position;
}

} // namespace

void ContactIndex::collectCandidates(const BallMove& move, float epsilon,
                                     const std::vector<CollisionBox>& boxes,
                                     ContactCandidates& candidates) const {
    candidates.triangles.clear();
    std::optional<SweepReach>& sweep = candidates.sweep;
    if (!contact_reach::sweepReach(move, epsilon, courseMagnitude_, sweep.emplace())) {
        sweep.reset();
        collectEveryTriangle(move, epsilon, boxes, candidates.triangles);
        return;
    }

    // The boxes to search: those the sweep may reach whose own sweep test accepts them.
    std::vector<std::uint32_t>& searched = candidates.boxes;
    searched.clear();
    const auto accept = [&](std::uint32_t number) {
        if (boxes[number].overlapsSweep(move.from, move.to, move.radius, epsilon)) {
            searched.push_back(number);
        }
    };
    if (treeBoxes_.size() <= boxesScannedInTurn) {
        for (const std::uint32_t number : treeBoxes_) {
            const Node& root = nodes_[boxEntries_[number].root];
            if (contact_reach::boundsMayReach(*sweep, root.lower, root.upper)) {
                accept(number);
            }
        }
    } else {
        contact_reach::prepareSlabs(*sweep);
        forEachReachedLeaf(boxNodes_, 0, *sweep, [&](std::uint32_t first, std::uint32_t count) {
            for (std::uint32_t i = first; i < first + count; ++i) {
                accept(treeBoxes_[i]);
            }
        });
    }
    for (const std::uint32_t number : looseBoxes_) {
        accept(number);
    }
    if (!searched.empty()) {
        contact_reach::prepareSlabs(*sweep);
    }
    for (const std::uint32_t number : searched) {
        collectBox(number, move, *sweep, candidates.triangles);
    }
}

// Appends the box's triangles that the sweep may touch. A triangle whose face the move leaves
// (D . n > 0, rounded as its tests round it) reports nothing and is left out.
void ContactIndex::collectBox(std::uint32_t number, const BallMove& move, const SweepReach& sweep,
                              std::vector<ContactCandidate>& triangles) const {
    const BoxEntry& entry = boxEntries_[number];
    if (entry.root != noNode) {
        forEachReachedLeaf(nodes_, entry.root, sweep, [&](std::uint32_t first, std::uint32_t count) {
            for (std::uint32_t i = first; i < first + count; ++i) {
                const ContactTriangle& triangle = triangles_[i];
                if (move.delta.dot(triangle.faceNormal()) <= 0.0f &&
                    contact_reach::mayTouch(triangle, triangle.reachGrowth, sweep)) {
                    triangles.push_back({mergeOrder(number, triangle.position), &triangle});
                }
            }
        });
    }
    for (std::uint32_t i = entry.firstLoose; i < entry.firstLoose + entry.looseCount; ++i) {
        triangles.push_back({mergeOrder(number, triangles_[i].position), &triangles_[i]});
    }
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
    return triangles_.capacity() * sizeof(ContactTriangle) + nodes_.capacity() * sizeof(Node) +
           boxEntries_.capacity() * sizeof(BoxEntry) + boxNodes_.capacity() * sizeof(Node) +
           (treeBoxes_.capacity() + looseBoxes_.capacity()) * sizeof(std::uint32_t);
}
