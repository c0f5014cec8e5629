#include "TriangleTree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

// Items per leaf: few enough that a leaf costs about what a node does.
constexpr std::uint32_t itemsPerLeaf = 4;

// Cells along any axis of a triangle's bounds, at most, and pieces per triangle on average:
// enough to part the triangles of a fan or of large overlapping ones, few enough that the tree
// stays a few times the triangles' number.
constexpr int cellsPerAxis = 8;
constexpr double piecesPerTriangle = 16.0;

using Corner = TriangleTree::Corner;

Corner minus(const Corner& a, const Corner& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

double norm(const Corner& a) {
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

// About how many cells of the given length a triangle meets: its area over a cell's face,
// its perimeter over the length, and one.
double cellsMet(const TriangleTree::Corners& t, double length) {
    const Corner first = minus(t[1], t[0]), second = minus(t[2], t[0]);
    const Corner cross = {first[1] * second[2] - first[2] * second[1],
                          first[2] * second[0] - first[0] * second[2],
                          first[0] * second[1] - first[1] * second[0]};
    const double perimeter = norm(first) + norm(second) + norm(minus(t[2], t[1]));
    return 0.5 * norm(cross) / (length * length) + perimeter / length + 1.0;
}

double centre(const TriangleTree::Item& item, int axis) {
    return 0.5 * (double(item.bounds.lower[axis]) + item.bounds.upper[axis]);
}

void include(TriangleTree::Box& box, const TriangleTree::Box& more) {
    for (int axis = 0; axis < 3; ++axis) {
        box.lower[axis] = std::min(box.lower[axis], more.lower[axis]);
        box.upper[axis] = std::max(box.upper[axis], more.upper[axis]);
    }
}

} // namespace

TriangleTree::TriangleTree(std::vector<Item> items) : items_(std::move(items)) {
    if (items_.empty()) {
        return;
    }
    nodes_.reserve(2 * items_.size() / itemsPerLeaf + 1);
    nodes_.emplace_back();
    split(0, 0, static_cast<std::uint32_t>(items_.size()));
}

// Fills nodes_[nodeIndex] with the items [begin, end): a leaf when they are few, otherwise two
// children split at the median of the centres along the axis where they spread widest.
void TriangleTree::split(std::uint32_t nodeIndex, std::uint32_t begin, std::uint32_t end) {
    Node node{};
    double lowest[3], highest[3];
    node.bounds = items_[begin].bounds;
    node.outer = items_[begin].outer;
    node.grow = items_[begin].grow;
    for (int axis = 0; axis < 3; ++axis) {
        lowest[axis] = highest[axis] = centre(items_[begin], axis);
    }
    for (std::uint32_t i = begin + 1; i < end; ++i) {
        const Item& item = items_[i];
        include(node.bounds, item.bounds);
        include(node.outer, item.outer);
        node.grow = std::max(node.grow, item.grow);
        for (int axis = 0; axis < 3; ++axis) {
            lowest[axis] = std::min(lowest[axis], centre(item, axis));
            highest[axis] = std::max(highest[axis], centre(item, axis));
        }
    }
    if (end - begin <= itemsPerLeaf) {
        node.first = begin;
        node.count = end - begin;
        nodes_[nodeIndex] = node;
        return;
    }
    int axis = 0;
    for (int other = 1; other < 3; ++other) {
        if (highest[other] - lowest[other] > highest[axis] - lowest[axis]) {
            axis = other;
        }
    }
    const std::uint32_t middle = begin + (end - begin) / 2;
    // Ties broken by id, so that the tree does not depend on the library's nth_element.
    std::nth_element(items_.begin() + begin, items_.begin() + middle, items_.begin() + end,
                     [axis](const Item& a, const Item& b) {
                         const double ca = centre(a, axis), cb = centre(b, axis);
                         return ca < cb || (ca == cb && a.id < b.id);
                     });
    const auto left = static_cast<std::uint32_t>(nodes_.size());
    nodes_.emplace_back();
    nodes_.emplace_back();
    node.first = left;
    node.count = 0;
    nodes_[nodeIndex] = node;
    split(left, begin, middle);
    split(left + 1, middle, end);
}

double TriangleTree::pieceLength(const std::vector<Corners>& triangles) {
    if (triangles.empty()) {
        return std::numeric_limits<double>::infinity();
    }
    double lower[3], upper[3];
    for (int axis = 0; axis < 3; ++axis) {
        lower[axis] = upper[axis] = triangles[0][0][axis];
    }
    for (const Corners& t : triangles) {
        for (const Corner& c : t) {
            for (int axis = 0; axis < 3; ++axis) {
                lower[axis] = std::min(lower[axis], c[axis]);
                upper[axis] = std::max(upper[axis], c[axis]);
            }
        }
    }
    const double extent = std::max({upper[0] - lower[0], upper[1] - lower[1], upper[2] - lower[2]});
    if (!(extent > 0.0) || !std::isfinite(extent)) {
        return std::numeric_limits<double>::infinity();
    }
    const double count = static_cast<double>(triangles.size());
    double length = extent / std::cbrt(count);
    // Every try makes the cells half as long again; a few dozen tries reach any extent.
    for (int tries = 0; tries < 64; ++tries, length *= 1.5) {
        double met = 0.0;
        for (const Corners& t : triangles) {
            met += cellsMet(t, length);
        }
        if (met <= piecesPerTriangle * count) {
            return length;
        }
    }
    return std::numeric_limits<double>::infinity();
}

std::vector<TriangleTree::Box> TriangleTree::pieces(const Corners& triangle, double length) {
    double lower[3], upper[3];
    int cells[3];
    for (int axis = 0; axis < 3; ++axis) {
        lower[axis] = std::min({triangle[0][axis], triangle[1][axis], triangle[2][axis]});
        upper[axis] = std::max({triangle[0][axis], triangle[1][axis], triangle[2][axis]});
        const double across = (upper[axis] - lower[axis]) / length;
        cells[axis] =
            across > 1.0 ? static_cast<int>(std::min(double(cellsPerAxis), std::ceil(across))) : 1;
    }
    const auto rounded = [](double lowest, double highest) {
        // Rounded outward to float, with room for the clipping's rounding.
        const double room = 1e-9 * std::max(std::fabs(lowest), std::fabs(highest));
        auto low = static_cast<float>(lowest - room), high = static_cast<float>(highest + room);
        if (double(low) > lowest - room) {
            low = std::nextafter(low, -HUGE_VALF);
        }
        if (double(high) < highest + room) {
            high = std::nextafter(high, HUGE_VALF);
        }
        return std::pair{low, high};
    };
    std::vector<Box> found;
    if (cells[0] * cells[1] * cells[2] == 1) {
        Box box{};
        for (int axis = 0; axis < 3; ++axis) {
            std::tie(box.lower[axis], box.upper[axis]) = rounded(lower[axis], upper[axis]);
        }
        found.push_back(box);
        return found;
    }
    // Each cell's part of the triangle: the polygon clipped to the cell's six planes
    // (Sutherland and Hodgman), at most nine corners.
    std::vector<Corner> polygon, clipped;
    for (int i = 0; i < cells[0]; ++i) {
        for (int j = 0; j < cells[1]; ++j) {
            for (int k = 0; k < cells[2]; ++k) {
                const int index[3] = {i, j, k};
                polygon.assign(triangle.begin(), triangle.end());
                for (int axis = 0; axis < 3 && !polygon.empty(); ++axis) {
                    const double step = (upper[axis] - lower[axis]) / cells[axis];
                    // The outer cells reach the bounds exactly.
                    const double low =
                        index[axis] == 0 ? lower[axis] : lower[axis] + step * index[axis];
                    const double high = index[axis] == cells[axis] - 1
                                            ? upper[axis]
                                            : lower[axis] + step * (index[axis] + 1);
                    for (const double side : {-1.0, 1.0}) {
                        // Keep side * (x - plane) <= 0: below high, above low.
                        const double plane = side > 0.0 ? high : low;
                        clipped.clear();
                        for (std::size_t n = 0; n < polygon.size(); ++n) {
                            const Corner& from = polygon[n];
                            const Corner& to = polygon[(n + 1) % polygon.size()];
                            const double a = side * (from[axis] - plane);
                            const double b = side * (to[axis] - plane);
                            if (a <= 0.0) {
                                clipped.push_back(from);
                            }
                            if ((a < 0.0 && b > 0.0) || (a > 0.0 && b < 0.0)) {
                                const double s = a / (a - b);
                                Corner cut;
                                for (int c = 0; c < 3; ++c) {
                                    cut[c] = from[c] + s * (to[c] - from[c]);
                                }
                                cut[axis] = plane;
                                clipped.push_back(cut);
                            }
                        }
                        polygon.swap(clipped);
                        if (polygon.empty()) {
                            break;
                        }
                    }
                }
                if (polygon.empty()) {
                    continue;
                }
                Box box{};
                for (int axis = 0; axis < 3; ++axis) {
                    double low = polygon[0][axis], high = polygon[0][axis];
                    for (const Corner& c : polygon) {
                        low = std::min(low, c[axis]);
                        high = std::max(high, c[axis]);
                    }
                    std::tie(box.lower[axis], box.upper[axis]) = rounded(low, high);
                }
                found.push_back(box);
            }
        }
    }
    return found;
}
