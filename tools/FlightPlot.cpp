#include "FlightPlot.h"

#include "ToolCommandLine.h"
#include "geometry/Bounds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// Page layout, in SVG pixels.
constexpr double widestViews = 1100.0;  // the side and the front view together
constexpr double narrowestPage = 900.0; // the title and the legend
constexpr double marginLeft = 64.0;     // room for the vertical axis's tick labels
constexpr double marginRight = 24.0;
constexpr double marginTop = 104.0;   // title, caption and legend
constexpr double viewGap = 60.0;      // the top view's x labels and the side view's name
constexpr double columnGap = 72.0;    // the front view's tick labels and axis name
constexpr double marginBottom = 44.0; // the lower views' x labels and axis names
constexpr double tallestView = 620.0;
constexpr double widestViewName = 250.0; // "From the side (looking along -z)", bold at 13 px
// Marks that stand for a point, not for the ball, are drawn at a size on the page whatever the
// scale: the start and end dots (radius), the frame crossings (half the diagonal) and the
// smallest respawn cross (half its width).
constexpr double pointMarkPixels = 5.0;
// Each extent is padded by this fraction on both sides, so nothing touches the frame.
constexpr double extentPadding = 0.04;
// Ticks per axis, roughly; the step is rounded to 1, 2 or 5 times a power of ten.
constexpr double ticksWanted = 8.0;
// Fewer on a narrow horizontal axis, so that its labels do not run into each other.
constexpr double fewestTicks = 2.0;
constexpr double pixelsPerAcrossTick = 45.0;
// A triangle whose unit normal is closer than this to being across the line of sight is seen
// edge on and drawn as its outline (the walls seen from above).
constexpr double edgeOnTolerance = 1e-6;
// Front faces are shaded by how squarely they face the eye, so slopes stand out from flats.
constexpr double shadeFloor = 0.55;

constexpr const char* pathColour = "#1d3fc4";
constexpr const char* bounceColour = "#f07800";
constexpr const char* respawnColour = "#c0007a";
constexpr const char* backFaceColour = "#8c8c8c";

// What the views show, course units: per axis from low to high.
struct Frame {
    double low[3];
    double high[3];

    double extent(int axis) const { return high[axis] - low[axis]; }
};

// The bounds of what is drawn, grown on every side by `margin` and by the padding; an axis
// without extent gets one unit, and with nothing drawn every axis frames [-1, 1] so grown.
Frame framed(const Bounds& drawn, double margin) {
    Frame frame;
    for (int axis = 0; axis < 3; ++axis) {
        const double low = drawn.empty() ? -1.0 : drawn.lower[axis];
        const double high = drawn.empty() ? 1.0 : drawn.upper[axis];
        const double extent = std::max(high - low + 2.0 * margin, 1.0);
        const double centre = 0.5 * (low + high);
        frame.low[axis] = centre - 0.5 * extent * (1.0 + 2.0 * extentPadding);
        frame.high[axis] = centre + 0.5 * extent * (1.0 + 2.0 * extentPadding);
    }
    return frame;
}

// One view: course axis `across` to the right, `vertical` down the page (top view, z) or up it
// (side and front views, y); the eye looks from the + side of `depth` (eyeSide +1), or from its
// - side (-1: the front view, z to the right and y up, looks along +x).
struct View {
    const char* id;
    const char* name;
    int across;
    int vertical;
    bool verticalDown;
    int depth;
    double eyeSide;
    // Placement on the page in pixels; `scale` is pixels per course unit.
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
    double scale = 0.0;
    // The frame in course units: what lies outside is not drawn.
    double lowAcross = 0.0;
    double highAcross = 0.0;
    double lowVertical = 0.0;
    double highVertical = 0.0;

    bool inFrame(double a, double v) const {
        return a >= lowAcross && a <= highAcross && v >= lowVertical && v <= highVertical;
    }

    double pageX(double a) const { return left + (a - lowAcross) * scale; }
    double pageY(double v) const {
        return verticalDown ? top + (v - lowVertical) * scale : top + (highVertical - v) * scale;
    }
    // `pixels` as a length in course units, for strokes inside the view's groups.
    std::string strokeWidth(double pixels) const { return formatNumber(pixels / scale, 4); }
    // The SVG transform from (across, vertical) course units to the page.
    std::string transform() const {
        std::string text = "matrix(";
        for (const double entry : {scale, 0.0, 0.0, verticalDown ? scale : -scale, pageX(0.0)}) {
            text += formatNumber(entry, 9) + " ";
        }
        return text + formatNumber(pageY(0.0), 9) + ")";
    }
};

// Course units in the view's two axes: triangles to 7 digits, path points to 9 (every float).
std::string point(const View& view, const Vector3& p, int digits) {
    return formatNumber(p[view.across], digits) + "," + formatNumber(p[view.vertical], digits);
}

// The text as SVG character data or an attribute value.
std::string escaped(const std::string& text) {
    static const std::map<char, std::string> entities = {
        {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}};
    std::string out;
    for (const char ch : text) {
        const auto entity = entities.find(ch);
        out += entity == entities.end() ? std::string(1, ch) : entity->second;
    }
    return out;
}

// The box's colour as the program's material shows it (clamped to 0..1), times `shade`.
std::string colourHex(const float* colour, double shade) {
    char text[8];
    int channel[3];
    for (int i = 0; i < 3; ++i) {
        const double value =
            std::isfinite(colour[i]) ? std::clamp(double(colour[i]), 0.0, 1.0) : 0.0;
        channel[i] = static_cast<int>(std::lround(value * shade * 255.0));
    }
    std::snprintf(text, sizeof text, "#%02x%02x%02x", channel[0], channel[1], channel[2]);
    return text;
}

double niceStep(double extent, double wanted) {
    const double raw = extent / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (raw <= factor * power) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

// The ticks of an axis, course units: the whole multiples k x step of its nice step from the
// low end of the bounds to the high end. k is counted as a whole number: far from the origin
// (k near 1e16 and beyond) adding 1 to a double k changes nothing, and the loop would never end.
// The step is at least an eighth of the extent, so about ten ticks fit; the cap only guards
// against rounding, and nothing is drawn on an axis without a usable step.
std::vector<double> ticks(const Frame& bounds, int axis, double wanted = ticksWanted) {
    constexpr long long mostTicks = 100;
    const double step = niceStep(bounds.extent(axis), wanted);
    const double first = std::ceil(bounds.low[axis] / step);
    std::vector<double> ticks;
    if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(first)) {
        return ticks;
    }
    for (long long k = 0; k < mostTicks; ++k) {
        const double tick = (first + static_cast<double>(k)) * step;
        if (!(tick <= bounds.high[axis])) {
            break;
        }
        ticks.push_back(tick);
    }
    return ticks;
}

// Painter's order: the triangles of the course from the farthest to the nearest along the eye's
// axis (by their centroids), each filled when it faces the eye, outlined otherwise.
void writeCourse(std::ostream& out, const LoadedCourse& course, const View& view) {
    struct Drawn {
        double depth;
        const Triangle* triangle;
        const float* colour;
    };
    std::vector<Drawn> drawn;
    for (const CollisionBox& box : course.boxes()) {
        for (unsigned i = 0; i < box.triangleCount(); ++i) {
            const Triangle* t = box.triangle(static_cast<int>(i));
            if (!t->hasFiniteNormal()) {
                continue; // no area, nothing to see
            }
            // Toward the eye, along the depth axis.
            const double depth = view.eyeSide *
                                 (double((*t->vertex(0))[view.depth]) +
                                  (*t->vertex(1))[view.depth] + (*t->vertex(2))[view.depth]) /
                                 3.0;
            drawn.push_back({depth, t, box.colour()});
        }
    }
    std::stable_sort(drawn.begin(), drawn.end(),
                     [](const Drawn& a, const Drawn& b) { return a.depth < b.depth; });

    // Stroke widths are given in pixels and written in course units, since the group's
    // transform scales them too (not every renderer honours non-scaling strokes).
    out << "<g class=\"course\" transform=\"" << view.transform()
        << "\" stroke-linejoin=\"round\">\n";
    for (const Drawn& d : drawn) {
        const double facing = view.eyeSide * d.triangle->normal()[view.depth];
        std::string points;
        for (int v = 0; v < 3; ++v) {
            points += v == 0 ? "" : " ";
            points += point(view, *d.triangle->vertex(v), 7);
        }
        out << "<polygon points=\"" << points << "\" ";
        if (facing > edgeOnTolerance) {
            // Outlined in its own colour, so that neighbours leave no hairline seam.
            const std::string fill = colourHex(d.colour, shadeFloor + (1.0 - shadeFloor) * facing);
            out << "class=\"front\" fill=\"" << fill << "\" stroke=\"" << fill
                << "\" stroke-width=\"" << view.strokeWidth(0.6) << "\"";
        } else if (facing < -edgeOnTolerance) {
            out << "class=\"back\" fill=\"none\" stroke=\"" << backFaceColour
                << "\" stroke-opacity=\"0.6\" stroke-width=\"" << view.strokeWidth(0.8) << "\"";
        } else {
            out << "class=\"edge-on\" fill=\"none\" stroke=\"" << colourHex(d.colour, shadeFloor)
                << "\" stroke-width=\"" << view.strokeWidth(2.0) << "\"";
        }
        out << "/>\n";
    }
    out << "</g>\n";
}

// A point of the path in the view's two axes, course units.
struct PagePoint {
    double across;
    double vertical;
};

// Appends "CommandA,V" to an SVG path's data. Piece by piece: GCC 12 at -O3 warns (wrongly) of
// overlapping copies in chains of literal + string.
void pathStep(std::string& path, char command, double across, double vertical) {
    path += command;
    path += formatNumber(across, 9);
    path += ',';
    path += formatNumber(vertical, 9);
}

// A cross of two strokes through p, `size` course units from the centre to each end.
std::string crossPath(const PagePoint& p, double size) {
    std::string path;
    pathStep(path, 'M', p.across - size, p.vertical - size);
    pathStep(path, 'L', p.across + size, p.vertical + size);
    pathStep(path, 'M', p.across - size, p.vertical + size);
    pathStep(path, 'L', p.across + size, p.vertical - size);
    return path;
}

// A diamond around p, `size` course units from the centre to each corner.
std::string diamondPath(const PagePoint& p, double size) {
    std::string path;
    pathStep(path, 'M', p.across - size, p.vertical);
    pathStep(path, 'L', p.across, p.vertical - size);
    pathStep(path, 'L', p.across + size, p.vertical);
    pathStep(path, 'L', p.across, p.vertical + size);
    return path + "Z";
}

// The part of the segment from a to b inside the view's frame, as fractions of the segment
// (Liang-Barsky: a + t (b - a) stays inside while, for every side, t is on its inner side);
// false when no part is inside.
bool clipToFrame(const View& view, const PagePoint& a, const PagePoint& b, double& enter,
                 double& leave) {
    enter = 0.0;
    leave = 1.0;
    const double delta[2] = {b.across - a.across, b.vertical - a.vertical};
    const double start[2] = {a.across, a.vertical};
    const double low[2] = {view.lowAcross, view.lowVertical};
    const double high[2] = {view.highAcross, view.highVertical};
    for (int axis = 0; axis < 2; ++axis) {
        // low <= start + t delta <= high
        if (delta[axis] == 0.0) {
            if (start[axis] < low[axis] || start[axis] > high[axis]) {
                return false; // parallel to this side and outside it
            }
            continue;
        }
        double tLow = (low[axis] - start[axis]) / delta[axis];
        double tHigh = (high[axis] - start[axis]) / delta[axis];
        if (tLow > tHigh) {
            std::swap(tLow, tHigh);
        }
        enter = std::max(enter, tLow);
        leave = std::min(leave, tHigh);
    }
    return enter <= leave;
}

// The point at fraction t of the segment from a to b, held inside the frame against rounding.
PagePoint pointAlong(const View& view, const PagePoint& a, const PagePoint& b, double t) {
    return {std::clamp(a.across + t * (b.across - a.across), view.lowAcross, view.highAcross),
            std::clamp(a.vertical + t * (b.vertical - a.vertical), view.lowVertical,
                       view.highVertical)};
}

// The path's polylines cut at the frame: only what lies inside is drawn, and every point where
// the path leaves or enters the frame gets a mark. Points inside are written as recorded.
struct ClippedPath {
    std::vector<std::vector<PagePoint>> lines;
    std::vector<PagePoint> crossings;
};

ClippedPath clipPath(const FlightPath& path, const View& view) {
    ClippedPath clipped;
    for (const std::vector<Vector3>& piece : path.pieces) {
        std::vector<PagePoint> points;
        for (const Vector3& p : piece) {
            if (p.isFinite()) {
                points.push_back({p[view.across], p[view.vertical]});
            }
        }
        std::vector<PagePoint> line;
        const auto endLine = [&] {
            if (!line.empty()) {
                clipped.lines.push_back(std::move(line));
                line.clear();
            }
        };
        if (points.size() == 1 && view.inFrame(points[0].across, points[0].vertical)) {
            line.push_back(points[0]);
        }
        for (std::size_t i = 1; i < points.size(); ++i) {
            const PagePoint& a = points[i - 1];
            const PagePoint& b = points[i];
            double enter = 0.0;
            double leave = 1.0;
            if (!clipToFrame(view, a, b, enter, leave)) {
                continue;
            }
            if (enter > 0.0) {
                endLine();
                line.push_back(pointAlong(view, a, b, enter));
                clipped.crossings.push_back(line.back());
            } else if (line.empty()) {
                line.push_back(a);
            }
            line.push_back(leave < 1.0 ? pointAlong(view, a, b, leave) : b);
            if (leave < 1.0) {
                clipped.crossings.push_back(line.back());
                endLine();
            }
        }
        endLine();
    }
    return clipped;
}

void writePath(std::ostream& out, const FlightPath& path, const View& view, float radius) {
    // The lines are cut at the frame here; the marks of the ball's size (a bounce's circle
    // reaches past the frame by up to a radius) are cut by the renderer.
    out << "<clipPath id=\"frame-" << view.id << "\"><rect x=\"" << formatNumber(view.left, 7)
        << "\" y=\"" << formatNumber(view.top, 7) << "\" width=\"" << formatNumber(view.width, 7)
        << "\" height=\"" << formatNumber(view.height, 7) << "\"/></clipPath>\n"
        << "<g clip-path=\"url(#frame-" << view.id << ")\">\n";
    out << "<g class=\"path\" transform=\"" << view.transform() << "\" fill=\"none\">\n";
    const ClippedPath clipped = clipPath(path, view);
    for (const std::vector<PagePoint>& line : clipped.lines) {
        std::string points;
        for (const PagePoint& p : line) {
            points += points.empty() ? "" : " ";
            points += formatNumber(p.across, 9) + "," + formatNumber(p.vertical, 9);
        }
        out << "<polyline class=\"flight\" points=\"" << points << "\" stroke=\"" << pathColour
            << "\" stroke-width=\"" << view.strokeWidth(1.6) << "\" stroke-linejoin=\"round\"/>\n";
    }
    const double pointMark = pointMarkPixels / view.scale;
    // Marks of points outside the frame are left out with the path there.
    const auto visible = [&](const Vector3& p) {
        return p.isFinite() && view.inFrame(p[view.across], p[view.vertical]);
    };
    const auto circle = [&](const Vector3& p, const char* cls, double r, const std::string& paint) {
        out << "<circle class=\"" << cls << "\" cx=\"" << formatNumber(p[view.across], 9)
            << "\" cy=\"" << formatNumber(p[view.vertical], 9) << "\" r=\"" << formatNumber(r, 9)
            << "\" " << paint << "/>\n";
    };
    const std::string bounce = "stroke=\"" + std::string(bounceColour) + "\" stroke-width=\"" +
                               view.strokeWidth(1.2) + "\"";
    for (const Vector3& b : path.bounces) {
        if (visible(b)) {
            circle(b, "bounce", radius, bounce);
        }
    }
    for (const Vector3& r : path.respawns) {
        if (visible(r)) {
            const PagePoint at{r[view.across], r[view.vertical]};
            out << "<path class=\"respawn\" d=\""
                << crossPath(at, std::max(2.0 * double(radius), pointMark)) << "\" stroke=\""
                << respawnColour << "\" stroke-width=\"" << view.strokeWidth(2.0) << "\"/>\n";
        }
    }
    const std::string outline = "stroke=\"#000000\" stroke-width=\"" + view.strokeWidth(1.0) + "\"";
    const Vector3& start = path.pieces.front().front();
    const Vector3& end = path.pieces.back().back();
    if (visible(start)) {
        circle(start, "start", pointMark, "fill=\"#2ca02c\" " + outline);
    }
    if (visible(end)) {
        circle(end, "end", pointMark, "fill=\"#d62728\" " + outline);
    }
    out << "</g>\n</g>\n";
    // On the frame, whole.
    out << "<g class=\"crossings\" transform=\"" << view.transform() << "\" fill=\"#ffffff\">\n";
    for (const PagePoint& p : clipped.crossings) {
        out << "<path class=\"crossing\" d=\"" << diamondPath(p, pointMark) << "\" stroke=\""
            << pathColour << "\" stroke-width=\"" << view.strokeWidth(1.2) << "\"/>\n";
    }
    out << "</g>\n";
}

// The frame, the ticks with their labels in course units, the axis names and the view's name.
void writeAxes(std::ostream& out, const View& view, const Frame& bounds) {
    const char* axisName[3] = {"x", "y", "z"};
    out << "<rect x=\"" << formatNumber(view.left, 7) << "\" y=\"" << formatNumber(view.top, 7)
        << "\" width=\"" << formatNumber(view.width, 7) << "\" height=\""
        << formatNumber(view.height, 7) << "\" fill=\"#fbfbf8\" stroke=\"#444444\"/>\n";
    out << "<text x=\"" << formatNumber(view.left, 7) << "\" y=\""
        << formatNumber(view.top - 8.0, 7) << "\" font-size=\"13\" font-weight=\"bold\">"
        << view.name << "</text>\n";

    const double bottom = view.top + view.height;
    const double acrossTicks =
        std::clamp(view.width / pixelsPerAcrossTick, fewestTicks, ticksWanted);
    for (const double tick : ticks(bounds, view.across, acrossTicks)) {
        const double x = view.pageX(tick);
        out << "<line x1=\"" << formatNumber(x, 7) << "\" y1=\"" << formatNumber(bottom, 7)
            << "\" x2=\"" << formatNumber(x, 7) << "\" y2=\"" << formatNumber(bottom + 5.0, 7)
            << "\" stroke=\"#444444\"/>"
            << "<text x=\"" << formatNumber(x, 7) << "\" y=\"" << formatNumber(bottom + 17.0, 7)
            << "\" font-size=\"11\" text-anchor=\"middle\">"
            << formatNumber(tick + 0.0, 6) // + 0.0: no "-0"
            << "</text>\n";
    }
    for (const double tick : ticks(bounds, view.vertical)) {
        const double y = view.pageY(tick);
        out << "<line x1=\"" << formatNumber(view.left - 5.0, 7) << "\" y1=\"" << formatNumber(y, 7)
            << "\" x2=\"" << formatNumber(view.left, 7) << "\" y2=\"" << formatNumber(y, 7)
            << "\" stroke=\"#444444\"/>"
            << "<text x=\"" << formatNumber(view.left - 8.0, 7) << "\" y=\""
            << formatNumber(y + 4.0, 7) << "\" font-size=\"11\" text-anchor=\"end\">"
            << formatNumber(tick + 0.0, 6) << "</text>\n";
    }
    out << "<text x=\"" << formatNumber(view.left + view.width, 7) << "\" y=\""
        << formatNumber(bottom + 32.0, 7) << "\" font-size=\"12\" text-anchor=\"end\">"
        << axisName[view.across] << " (course units)</text>\n";
    out << "<text x=\"" << formatNumber(view.left - 46.0, 7) << "\" y=\""
        << formatNumber(view.top + 0.5 * view.height, 7)
        << "\" font-size=\"12\" text-anchor=\"middle\""
        << " transform=\"rotate(-90 " << formatNumber(view.left - 46.0, 7) << " "
        << formatNumber(view.top + 0.5 * view.height, 7) << ")\">" << axisName[view.vertical]
        << (view.verticalDown ? " (down)" : " (up)") << "</text>\n";
}

// "1 bounce", "2 bounces", "0 bounces".
std::string counted(long long count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The title line and a legend of the marks under it.
void writeHeading(std::ostream& out, const FlightPath& path, const PlotCaption& caption) {
    out << "<text x=\"" << marginLeft << "\" y=\"24\" font-size=\"16\" font-weight=\"bold\">"
        << "Flight on " << escaped(caption.courseName) << "</text>\n"
        << "<text x=\"" << marginLeft << "\" y=\"44\" font-size=\"12\">"
        << counted(path.steps, "step") << " of " << formatNumber(caption.dt, 6) << " s, "
        << counted(caption.collides, "bounce") << ", "
        << counted(static_cast<long long>(path.respawns.size()), "respawn") << "; ball radius "
        << formatNumber(caption.ballRadius, 6) << "</text>\n";
    double x = marginLeft;
    const double y = 66.0;
    // Text widths are estimated (at most about 7 pixels a character at this size): the legend
    // only needs its entries not to overlap.
    const auto label = [&](const std::string& text) {
        out << "<text x=\"" << formatNumber(x, 7) << "\" y=\"" << formatNumber(y + 4.0, 7)
            << "\" font-size=\"12\">" << text << "</text>\n";
        x += 14.0 + 7.0 * static_cast<double>(text.size());
    };
    out << "<line x1=\"" << x << "\" y1=\"" << y << "\" x2=\"" << x + 24.0 << "\" y2=\"" << y
        << "\" stroke=\"" << pathColour << "\" stroke-width=\"1.6\"/>\n";
    x += 30.0;
    label("path of the centre");
    out << "<circle cx=\"" << formatNumber(x + 6.0, 7) << "\" cy=\"" << y
        << "\" r=\"5\" fill=\"none\" "
        << "stroke=\"" << bounceColour << "\" stroke-width=\"1.2\"/>\n";
    x += 16.0;
    label("bounce");
    out << "<path d=\"M" << formatNumber(x, 7) << "," << y - 5.0
        << "l10,10m-10,0l10,-10\" stroke=\"" << respawnColour << "\" stroke-width=\"2\"/>\n";
    x += 16.0;
    label("respawn");
    out << "<circle cx=\"" << formatNumber(x + 5.0, 7) << "\" cy=\"" << y
        << "\" r=\"5\" fill=\"#2ca02c\" stroke=\"#000000\"/>\n";
    x += 14.0;
    label("start");
    out << "<circle cx=\"" << formatNumber(x + 5.0, 7) << "\" cy=\"" << y
        << "\" r=\"5\" fill=\"#d62728\" stroke=\"#000000\"/>\n";
    x += 14.0;
    label("end");
    out << "<rect x=\"" << formatNumber(x, 7) << "\" y=\"" << y - 5.0
        << "\" width=\"10\" height=\"10\" fill=\"none\" stroke=\"" << backFaceColour << "\"/>\n";
    x += 16.0;
    label("face seen from behind");
    out << "<path d=\"M" << formatNumber(x, 7) << "," << y
        << "l5,-5l5,5l-5,5z\" fill=\"none\" stroke=\"" << pathColour
        << "\" stroke-width=\"1.2\"/>\n";
    x += 16.0;
    label("path leaves or enters the picture");
}

} // namespace

std::string flightSvg(const LoadedCourse& course, const FlightPath& path,
                      const PlotCaption& caption) {
    // Framed on the course, so that a ball leaving a small model at once leaves the model in
    // view; on the flight only when there is no course to frame. A point with a coordinate that
    // is not finite frames nothing.
    Bounds drawn;
    for (const Triangle* t : course.triangles()) {
        for (int v = 0; v < 3; ++v) {
            if (t->vertex(v)->isFinite()) {
                drawn.grow(*t->vertex(v));
            }
        }
    }
    if (drawn.empty()) {
        for (const std::vector<Vector3>& piece : path.pieces) {
            for (const Vector3& p : piece) {
                if (p.isFinite()) {
                    drawn.grow(p);
                }
            }
        }
    }
    const Frame bounds = framed(drawn, caption.ballRadius);

    // The top view over the side view, x under x; the front view beside the side view, y level
    // with y: a model standing in any vertical plane faces the eye in one of the lower two.
    View top{"top", "From above (looking down -y)", 0, 2, true, 1, 1.0};
    View side{"side", "From the side (looking along -z)", 0, 1, false, 2, 1.0};
    View front{"front", "From the front (looking along +x)", 2, 1, false, 0, -1.0};
    const double scale = std::min({widestViews / (bounds.extent(0) + bounds.extent(2)),
                                   tallestView / bounds.extent(2), tallestView / bounds.extent(1)});
    // The front view starts past the side view and past the side view's name.
    const double frontLeft =
        marginLeft + std::max(bounds.extent(0) * scale, widestViewName) + columnGap;
    const double pageWidth =
        std::max(narrowestPage, frontLeft + bounds.extent(2) * scale + marginRight);
    const double lowerTop = marginTop + bounds.extent(2) * scale + viewGap;
    const double pageHeight = lowerTop + bounds.extent(1) * scale + marginBottom;
    const std::pair<View*, std::array<double, 2>> placed[] = {{&top, {marginLeft, marginTop}},
                                                              {&side, {marginLeft, lowerTop}},
                                                              {&front, {frontLeft, lowerTop}}};
    for (const auto& [view, corner] : placed) {
        view->scale = scale;
        view->left = corner[0];
        view->top = corner[1];
        view->width = bounds.extent(view->across) * scale;
        view->height = bounds.extent(view->vertical) * scale;
        view->lowAcross = bounds.low[view->across];
        view->highAcross = bounds.high[view->across];
        view->lowVertical = bounds.low[view->vertical];
        view->highVertical = bounds.high[view->vertical];
    }

    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << formatNumber(pageWidth, 7)
        << "\" height=\"" << formatNumber(pageHeight, 7) << "\" viewBox=\"0 0 "
        << formatNumber(pageWidth, 7) << " " << formatNumber(pageHeight, 7)
        << "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n"
        << "<title>Flight on " << escaped(caption.courseName) << "</title>\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    writeHeading(out, path, caption);
    for (const View* view : {&top, &side, &front}) {
        out << "<g class=\"view\" id=\"" << view->id << "\">\n";
        writeAxes(out, *view, bounds);
        writeCourse(out, course, *view);
        writePath(out, path, *view, caption.ballRadius);
        out << "</g>\n";
    }
    out << "</svg>\n";
    return out.str();
}
