#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// A bounding-volume hierarchy over the lint's triangles, whatever boxes the course puts them in:
// median splits of the items' centres along their widest spread, a few items a leaf. Each item
// carries two boxes (course units; floats, rounded outward): its own bounds and outer bounds
// that a search may need instead (the triangle's bounds grown by what one search allows), and
// a length a search may grow its bounds by; every node keeps the union of each box below it and
// the largest length.
class TriangleTree {
public:
    struct Box {
        float lower[3];
        float upper[3];
    };

    struct Item {
        Box bounds;
        Box outer;
        float grow;
        std::uint32_t id;
    };

    struct Node {
        Box bounds;
        Box outer;
        float grow;
        // Two children at first and first + 1 (count 0), or `count` items from `first`.
        std::uint32_t first;
        std::uint32_t count;
    };

    using Corner = std::array<double, 3>;
    using Corners = std::array<Corner, 3>;

    // Builds over the items (reordered into leaf order).
    explicit TriangleTree(std::vector<Item> items);

    // The length of the cells that cut large triangles into pieces (see pieces): about the
    // spacing of the triangles if they filled their bounds evenly, longer if the pieces would
    // number more than a few per triangle. Infinite for no triangles.
    static double pieceLength(const std::vector<Corners>& triangles);
    // The bounds of the parts of the triangle in each cell of a grid of cells at most `length`
    // long over its bounds (at most a few along each axis), in double, grown by a billionth
    // of their magnitude for the rounding of the clipping; the triangle's bounds when it fits
    // one cell. Every point of the triangle lies in one of them.
    static std::vector<Box> pieces(const Corners& triangle, double length);

    bool empty() const { return items_.empty(); }

    // Calls visit(item) for every item of every leaf whose node `reaches(node)` accepts (and so
    // every node above it), depth first; stops as soon as a visit returns false.
    template <class Reaches, class Visit> bool forEach(Reaches reaches, Visit visit) const {
        if (items_.empty()) {
            return true;
        }
        std::uint32_t pending[deepest];
        int top = 0;
        pending[top++] = 0;
        while (top > 0) {
            const Node& node = nodes_[pending[--top]];
            if (!reaches(node)) {
                continue;
            }
            if (node.count == 0) {
                pending[top++] = node.first + 1;
                pending[top++] = node.first;
                continue;
            }
            for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                if (!visit(items_[i])) {
                    return false;
                }
            }
        }
        return true;
    }

    // Calls visit(item) for the items of the leaves whose nodes `entry(node)` reaches, the
    // nearest node first: entry gives a node's distance (a ray's entry into its bounds), and
    // nodes entered at or beyond `beyond()` are skipped; beyond() may shrink as items are
    // visited (the nearest hit so far).

    template <class Entry, class Beyond, class Visit>
    void forEachNearestFirst(Entry entry, Beyond beyond, Visit visit) const {
        if (items_.empty()) {
            return;
        }
        struct Pending {
            std::uint32_t node;
            double entry;
        };
        Pending pending[deepest];
        int top = 0;
        pending[top++] = {0, entry(nodes_[0])};
        while (top > 0) {
            const Pending next = pending[--top];
            if (!(next.entry < beyond())) {
                continue;
            }
            const Node& node = nodes_[next.node];
            if (node.count > 0) {
                for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
                    visit(items_[i]);
                }
                continue;
            }
            Pending near = {node.first, entry(nodes_[node.first])};
            Pending far = {node.first + 1, entry(nodes_[node.first + 1])};
            if (far.entry < near.entry) {
                std::swap(near, far);
            }
            pending[top++] = far;
            pending[top++] = near;
        }
    }

private:
    static constexpr int deepest = 64; // the median split halves the items at every level

    void split(std::uint32_t nodeIndex, std::uint32_t begin, std::uint32_t end);

    std::vector<Item> items_;
    std::vector<Node> nodes_;
};
