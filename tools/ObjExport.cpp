#include "ObjExport.h"

#include "ToolCommandLine.h"
#include "ToolFile.h"
#include "ToolProgress.h"
#include "course/CourseWriter.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace {

// A decimal farther than this from the float it stands for (in ulps of that float) is not
// trusted to tinyobjloader's parser; see objNumberText.
constexpr double safeUlps = 0.25;

// A decimal that tinyobjloader reads back as exactly `value`: the shortest one when it lies well
// inside the float's rounding interval, more digits otherwise. tinyobjloader sums the digits in
// double precision with an error of about 1e-15 of the value; a float's rounding interval is
// 6e-8 of it wide, so a text within a quarter of an ulp of the float cannot be read as another.
std::string objNumberText(float value) {
    std::string text = CourseWriter::numberText(value);
    const float magnitude = std::fabs(value);
    const double ulp =
        double(std::nextafter(magnitude, std::numeric_limits<float>::infinity())) - magnitude;
    for (const int digits : {9, 12, 17}) {
        if (std::fabs(std::strtod(text.c_str(), nullptr) - double(value)) <= safeUlps * ulp) {
            break;
        }
        char longer[64];
        std::snprintf(longer, sizeof longer, "%.*g", digits, double(value));
        text = longer;
    }
    return text;
}

// Exact bits of a vertex, so that only vertices equal to the bit (a zero's sign included) are
// shared.
struct VertexKey {
    std::uint32_t x, y, z;
    bool operator==(const VertexKey&) const = default;
};

struct VertexKeyHash {
    std::size_t operator()(const VertexKey& k) const {
        return (std::size_t(k.x) * 73856093u) ^ (std::size_t(k.y) * 19349663u) ^
               (std::size_t(k.z) * 83492791u);
    }
};

VertexKey keyOf(const Vector3& v) {
    return {std::bit_cast<std::uint32_t>(v.x), std::bit_cast<std::uint32_t>(v.y),
            std::bit_cast<std::uint32_t>(v.z)};
}

std::string boxName(std::size_t box) {
    return "box_" + std::to_string(box);
}

// tinyobjloader splits "mtllib" names at spaces and takes a backslash as the escape of one.
std::string escapedFileName(const std::string& name) {
    std::string escaped;
    for (const char ch : name) {
        if (ch == ' ' || ch == '\\') {
            escaped += '\\';
        }
        escaped += ch;
    }
    return escaped;
}

// A file name fit for a comment line: no line breaks.
std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char ch) { return ch == '\n' || ch == '\r'; }, ' ');
    return text;
}

std::string materialText(const LoadedCourse& course, const std::string& courseName) {
    std::string text = "# materials of " + oneLine(courseName) + ": one per box, its colour\n";
    for (std::size_t b = 0; b < course.boxes().size(); ++b) {
        const float* colour = course.boxes()[b].colour();
        std::string rgb;
        for (int i = 0; i < 3; ++i) {
            rgb += ' ';
            rgb += objNumberText(colour[i]);
        }
        // Appended piece by piece: GCC 12 at -O3 warns (wrongly) of overlapping copies in
        // chains of literal + string.
        for (const std::string& piece :
             {std::string("\nnewmtl "), boxName(b), std::string("\nKa"), rgb, std::string("\nKd"),
              rgb, std::string("\nd "), objNumberText(colour[3]), std::string("\nillum 1\n")}) {
            text += piece;
        }
    }
    return text;
}

std::string modelText(const LoadedCourse& course, const std::string& courseName,
                      const std::string& materialFile) {
    std::unordered_map<VertexKey, std::size_t, VertexKeyHash> numberOf;
    std::string vertices;
    std::string faces;
    for (std::size_t b = 0; b < course.boxes().size(); ++b) {
        const CollisionBox& box = course.boxes()[b];
        faces += "\ng ";
        faces += boxName(b);
        faces += "\nusemtl ";
        faces += boxName(b);
        faces += '\n';
        for (unsigned t = 0; t < box.triangleCount(); ++t) {
            faces += "f";
            for (int v = 0; v < 3; ++v) {
                const Vector3 p = *box.triangle(static_cast<int>(t))->vertex(v);
                const auto [entry, added] = numberOf.try_emplace(keyOf(p), numberOf.size() + 1);
                if (added) {
                    vertices += "v ";
                    vertices += objNumberText(p.x);
                    vertices += ' ';
                    vertices += objNumberText(p.y);
                    vertices += ' ';
                    vertices += objNumberText(p.z);
                    vertices += '\n';
                }
                faces += ' ';
                faces += std::to_string(entry->second);
            }
            faces += "\n";
        }
    }
    return "# " + oneLine(courseName) +
           " as a model: one course unit is one unit here; one group and one\n" +
           "# material per box, in the course's order. The course's front faces wind\n" +
           "# counter-clockwise.\nmtllib " + escapedFileName(materialFile) + "\n" + vertices +
           faces;
}

// The MTL file written beside the OBJ file: its extension .obj (any case) replaced by .mtl, or
// .mtl appended.
std::string materialFileFor(const std::string& objFile) {
    const std::string_view extension = ".obj";
    const std::size_t stem = objFile.size() - std::min(objFile.size(), extension.size());
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    };
    const bool replaced = stem > 0 && std::equal(objFile.begin() + std::ptrdiff_t(stem),
                                                 objFile.end(), extension.begin(), sameLetter);
    return (replaced ? objFile.substr(0, stem) : objFile) + ".mtl";
}

} // namespace

int exportObj(const ExportOptions& options) {
    LoadedCourse course;
    if (!loadCourse(options.course, course)) {
        return exitUsage;
    }
    const std::string materialFile = materialFileFor(options.output);
    const std::string materialName = std::filesystem::path(materialFile).filename().string();
    // The model names its materials: both are put in place together, or neither.
    if (!writeOutputFilesTogether(
            {{options.output, modelText(course, options.course, materialName)},
             {materialFile, materialText(course, options.course)}})) {
        return exitUsage;
    }
    return 0;
}
