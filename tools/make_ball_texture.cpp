// make-ball-texture [--help] OUTPUT: writes the ball's texture (assets/ball.tga), a white golf ball
// with shaded dimples and a red alignment line around its equator.
//
// The texture is wrapped by gluSphere's texture coordinates: s = column / width goes once around
// the pole axis, t = row / height from one pole (t = 0, the first row of the file) to the other.
// Each texel is coloured from the point of the unit sphere it lands on, so the pattern is even
// over the ball and meets itself across the seam at s = 0 = 1.
//
// File: uncompressed true-colour TGA (type 2), 32 bits per pixel stored blue, green, red, alpha,
// no image ID, rows from the bottom up (origin bit clear), 8 alpha bits.
#include "ToolCommandLine.h"
#include "ToolFile.h"
#include "geometry/DoubleVector.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int textureWidth = 256;  // texels around the ball
constexpr int textureHeight = 128; // texels from pole to pole
constexpr int bytesPerPixel = 4;
constexpr std::size_t tgaHeaderSize = 18;

// Dimples: centres on a Fibonacci lattice, which spreads them evenly with no crowding at the
// poles. Their angular radius is a fraction of the mean spacing sqrt(4 pi / count), so
// neighbours never overlap.
constexpr int dimpleCount = 300;
constexpr double dimpleRadiusPerSpacing = 0.42;
// Shading inside a dimple: darker towards its middle (it is a hollow) and on the side that faces
// the light, which falls along the surface from the north pole (+z).
constexpr double dimpleHollowDarkening = 0.14;
constexpr double dimpleSlopeDarkening = 0.2;

// Alignment line: a band of this half-width around the equator, as |z| on the unit sphere
// (about 3.4 degrees of latitude either side).
constexpr double lineHalfWidth = 0.06;

// One texel's height on the unit sphere (pi / height radians): the width of the soft edges that
// keep the dimples' rims and the line from stair-stepping.
constexpr double texelAngle = std::numbers::pi / textureHeight;

// A point on the unit sphere.
using Direction = DoubleVector;

Direction onSphere(double s, double t) {
    const double longitude = 2.0 * std::numbers::pi * s;
    const double polar = std::numbers::pi * (1.0 - t); // 0 at t = 1, pi at t = 0
    return {std::sin(polar) * std::cos(longitude), std::sin(polar) * std::sin(longitude),
            std::cos(polar)};
}

std::vector<Direction> dimpleCentres() {
    const double goldenAngle = std::numbers::pi * (3.0 - std::sqrt(5.0));
    std::vector<Direction> centres;
    for (int k = 0; k < dimpleCount; ++k) {
        const double z = 1.0 - 2.0 * (k + 0.5) / dimpleCount;
        const double ring = std::sqrt(1.0 - z * z);
        centres.push_back({ring * std::cos(k * goldenAngle), ring * std::sin(k * goldenAngle), z});
    }
    return centres;
}

// 0 beyond edge, 1 well inside it, a smooth step over the last `width` before it.
double coverage(double insideBy, double width) {
    const double f = std::clamp(insideBy / width, 0.0, 1.0);
    return f * f * (3.0 - 2.0 * f);
}

// Brightness factor of the ball's surface at p: 1 outside the dimples.
double dimpleShade(const Direction& p, const std::vector<Direction>& centres) {
    const double radius = dimpleRadiusPerSpacing * std::sqrt(4.0 * std::numbers::pi / dimpleCount);
    const Direction* nearest = &centres.front();
    for (const Direction& c : centres) {
        if (dot(p, c) > dot(p, *nearest)) {
            nearest = &c;
        }
    }
    const Direction& c = *nearest;
    const double distance = std::acos(std::clamp(dot(p, c), -1.0, 1.0));
    if (distance >= radius) {
        return 1.0;
    }
    // Offset from the centre in units of the radius, and north in the tangent plane at c.
    const Direction offset = {(p.x - c.x) / radius, (p.y - c.y) / radius, (p.z - c.z) / radius};
    const double northLength = std::sqrt(std::max(1.0 - c.z * c.z, 1e-12));
    const Direction north = {-c.z * c.x / northLength, -c.z * c.y / northLength,
                             (1.0 - c.z * c.z) / northLength};
    const double fromCentre = distance / radius;
    const double depth = dimpleHollowDarkening * (1.0 - fromCentre * fromCentre) +
                         dimpleSlopeDarkening * dot(offset, north);
    return 1.0 - coverage(radius - distance, texelAngle) * depth;
}

// Red, green, blue in 0..1 of the texel that lands on p.
std::array<double, 3> surfaceColour(const Direction& p, const std::vector<Direction>& centres) {
    constexpr std::array<double, 3> ballWhite = {0.98, 0.98, 0.96};
    constexpr std::array<double, 3> lineRed = {0.82, 0.08, 0.06};
    const double shade = dimpleShade(p, centres);
    const double onLine = coverage(lineHalfWidth - std::abs(p.z), texelAngle);
    std::array<double, 3> colour;
    for (int c = 0; c < 3; ++c) {
        colour[c] = shade * (ballWhite[c] + onLine * (lineRed[c] - ballWhite[c]));
    }
    return colour;
}

std::uint8_t toByte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

std::vector<std::uint8_t> tgaFile() {
    std::vector<std::uint8_t> file(tgaHeaderSize, 0);
    file[2] = 2; // uncompressed true-colour
    file[12] = textureWidth & 0xff;
    file[13] = textureWidth >> 8;
    file[14] = textureHeight & 0xff;
    file[15] = textureHeight >> 8;
    file[16] = 8 * bytesPerPixel;
    file[17] = 8; // 8 alpha bits; origin bits clear: first row at the bottom
    const std::vector<Direction> centres = dimpleCentres();
    for (int row = 0; row < textureHeight; ++row) {
        for (int column = 0; column < textureWidth; ++column) {
            const Direction p =
                onSphere((column + 0.5) / textureWidth, (row + 0.5) / textureHeight);
            const std::array<double, 3> rgb = surfaceColour(p, centres);
            file.insert(file.end(), {toByte(rgb[2]), toByte(rgb[1]), toByte(rgb[0]), 255});
        }
    }
    return file;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app("Writes the ball's texture (assets/ball.tga) to the file OUTPUT.",
                 "make-ball-texture");
    describeTool(app, "\"--\" ends the options, so that OUTPUT may start with \"-\".");
    std::string output;
    app.add_option("OUTPUT", output, "the TGA file to write")->required()->check(fileName());
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return commandLineFault(app, error);
    }
    const std::vector<std::uint8_t> file = tgaFile();
    return writeOutputFile(output, std::string(file.begin(), file.end())) ? 0 : 1;
}
