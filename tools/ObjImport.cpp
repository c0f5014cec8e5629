#include "tools/ObjImport.h"

#include "geometry/Triangle.h"
#include "tools/CourseNumbers.h"
#include "tools/FaceTriangulation.h"
#include "tools/ToolCommandLine.h"
#include "tools/ToolFile.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>

namespace {

// The colour of faces that have no material: light grey, opaque.
constexpr std::array<float, 4> noMaterialColour = {0.8f, 0.8f, 0.8f, 1.0f};
// The file holds five times the course's numbers, and each must be a finite float.
constexpr double largestCourseCoordinate = std::numeric_limits<float>::max() / 5.0;

// The fault that ends an import: the message is written where it is caught.
struct ImportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where each face of the OBJ is, found by a light look at its "f" lines (tinyobjloader keeps no
// line numbers): the line and the corner count of every face it will keep, in file order. It
// reads lines and words as tinyobjloader does: lines end at "\n", "\r\n" or "\r"; a face line
// starts, after spaces and tabs, with "f" and a space or tab; its corners are the words after.
// Faces of fewer than three corners, which tinyobjloader drops, are listed apart.
struct FaceLines {
    std::vector<long> line;
    std::vector<std::size_t> corners;
    // Where the corner words of each face start in the text (just after its "f").
    std::vector<std::size_t> cornersAt;
    std::vector<long> tooFewCorners;
};

FaceLines scanFaceLines(const std::string& text) {
    FaceLines faces;
    long lineNumber = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        ++lineNumber;
        const std::size_t end = text.find_first_of("\r\n", at);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        std::size_t word = text.find_first_not_of(" \t", at);
        if (word < stop && text[word] == 'f' && word + 1 < stop &&
            (text[word + 1] == ' ' || text[word + 1] == '\t')) {
            std::size_t count = 0;
            for (std::size_t i = word + 1; i < stop; ++i) {
                const bool space = text[i] == ' ' || text[i] == '\t';
                const bool previousSpace = text[i - 1] == ' ' || text[i - 1] == '\t';
                count += !space && previousSpace ? 1 : 0;
            }
            if (count >= 3) {
                faces.line.push_back(lineNumber);
                faces.corners.push_back(count);
                faces.cornersAt.push_back(word + 1);
            } else {
                faces.tooFewCorners.push_back(lineNumber);
            }
        }
        at = stop;
        if (at < text.size()) {
            at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
        }
    }
    return faces;
}

// The vertex index of corner `corner` (from 0) of the face whose corner words start at `at`, as
// the file writes it ("-9" of "-9/2/1"): tinyobjloader has turned relative indices into
// absolute ones by then, which names a vertex the file never did.
std::string writtenVertexIndex(const std::string& text, std::size_t at, std::size_t corner) {
    const auto isBlank = [](char ch) { return ch == ' ' || ch == '\t'; };
    const auto isLineEnd = [](char ch) { return ch == '\r' || ch == '\n'; };
    std::size_t word = at;
    for (std::size_t skipped = 0;; ++skipped) {
        while (word < text.size() && isBlank(text[word])) {
            ++word;
        }
        if (skipped == corner) {
            break;
        }
        while (word < text.size() && !isBlank(text[word]) && !isLineEnd(text[word])) {
            ++word;
        }
    }
    std::size_t end = word;
    while (end < text.size() && !isBlank(text[end]) && !isLineEnd(text[end]) && text[end] != '/') {
        ++end;
    }
    return text.substr(word, end - word);
}

std::string readModel(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        throw ImportError(path + ": cannot read the model: it is a directory");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ImportError(path + ": cannot open the model (" + std::strerror(errno) + ")");
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw ImportError(path + ": cannot read the model (read error)");
    }
    return text;
}

// Each line of tinyobjloader's message text as "MODEL.obj: KIND: line".
void passOn(const std::string& model, const char* kind, const std::string& messages) {
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        // Faces of fewer than three corners and vertex indices out of range are reported with
        // their own line by the import itself ("." is a stray end of the first message, and the
        // second names the last line of the file). Normals and texture coordinates are not
        // used, so their indices do not matter.
        const bool reportedOrUnused = line.rfind("Degenerated face found", 0) == 0 ||
                                      line.find("indices out of bounds") != std::string::npos;
        if (line.empty() || line == "." || reportedOrUnused) {
            continue;
        }
        std::cerr << model << ": " << kind << ": " << line << "\n";
    }
}

struct Model {
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
};

Model loadModel(const std::string& path, const std::string& text) {
    Model model;
    std::istringstream in(text);
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    tinyobj::MaterialFileReader materials(directory.empty() ? "./" : directory.string() + "/");
    std::string warnings;
    std::string errors;
    const bool loaded = tinyobj::LoadObj(&model.attrib, &model.shapes, &model.materials, &warnings,
                                         &errors, &in, &materials, /*triangulate=*/false);
    passOn(path, "warning", warnings);
    if (!loaded) {
        passOn(path, "error", errors);
        throw ImportError("");
    }
    passOn(path, "warning", errors);
    return model;
}

// A triangle as the course will hold it: its file numbers and the course values the reader
// rebuilds from them.
struct CourseTriangle {
    std::array<float, 9> file;
    std::array<Vector3, 3> course;
    std::size_t group;
};

struct Group {
    std::array<float, 4> colour;
    std::vector<std::size_t> triangles;
};

// Turns the model's faces into course triangles, grouped by material (or by shape without any
// material), reporting faces without area.
class FaceCollector {
public:
    FaceCollector(const ImportOptions& options, const Model& model, const std::string& text,
                  const FaceLines& lines)
        : options_(options), model_(model), text_(text), lines_(lines) {}

    void collect();

    std::vector<CourseTriangle> triangles;
    std::vector<Group> groups;
    long long inexact = 0;

private:
    std::string where(std::size_t face) const;
    std::string vertexName(int vertex, std::size_t face, std::size_t corner) const;
    std::size_t groupOf(std::size_t shape, int material);
    Vector3 coursePoint(int vertex, std::size_t face, std::size_t corner);
    void addFace(const std::vector<Vector3>& corners, std::size_t face, std::size_t group);

    const ImportOptions& options_;
    const Model& model_;
    const std::string& text_;
    const FaceLines& lines_;
    bool lineNumbersKnown_ = false;
    std::map<long long, std::size_t> groupByKey_;
};

std::string FaceCollector::where(std::size_t face) const {
    if (lineNumbersKnown_) {
        return options_.model + ":" + std::to_string(lines_.line[face]);
    }
    return options_.model + ": face " + std::to_string(face + 1);
}

// The vertex a face's corner uses, named as the file names it where the face's line is known;
// otherwise by its number from 1.
std::string FaceCollector::vertexName(int vertex, std::size_t face, std::size_t corner) const {
    if (lineNumbersKnown_) {
        return writtenVertexIndex(text_, lines_.cornersAt[face], corner);
    }
    return std::to_string(static_cast<long long>(vertex) + 1);
}

std::size_t FaceCollector::groupOf(std::size_t shape, int material) {
    const bool byMaterial = !model_.materials.empty();
    const long long key = byMaterial ? material : static_cast<long long>(shape);
    const auto found = groupByKey_.find(key);
    if (found != groupByKey_.end()) {
        return found->second;
    }
    Group group{noMaterialColour, {}};
    if (byMaterial && material >= 0 && material < static_cast<int>(model_.materials.size())) {
        const tinyobj::material_t& m = model_.materials[static_cast<std::size_t>(material)];
        group.colour = {m.diffuse[0], m.diffuse[1], m.diffuse[2], m.dissolve};
    }
    groups.push_back(group);
    groupByKey_[key] = groups.size() - 1;
    return groups.size() - 1;
}

Vector3 FaceCollector::coursePoint(int vertex, std::size_t face, std::size_t corner) {
    const std::size_t vertexCount = model_.attrib.vertices.size() / 3;
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= vertexCount) {
        throw ImportError(where(face) + ": error: the face uses vertex " +
                          vertexName(vertex, face, corner) + ", but the model has " +
                          std::to_string(vertexCount) + " vertices");
    }
    Vector3 point;
    for (int axis = 0; axis < 3; ++axis) {
        const double value = double(model_.attrib.vertices[3 * static_cast<std::size_t>(vertex) +
                                                           static_cast<std::size_t>(axis)]) *
                             options_.scale;
        if (!(std::fabs(value) <= largestCourseCoordinate)) {
            throw ImportError(where(face) + ": error: vertex " + vertexName(vertex, face, corner) +
                              " times the scale " + formatNumber(options_.scale) +
                              " is beyond the coordinates a course file holds (" +
                              formatNumber(largestCourseCoordinate) + ")");
        }
        point[axis] = static_cast<float>(value);
    }
    return point;
}

void FaceCollector::addFace(const std::vector<Vector3>& corners, std::size_t face,
                            std::size_t group) {
    const std::vector<std::array<std::size_t, 3>> pieces = triangulateFace(corners);
    for (std::size_t piece = 0; piece < pieces.size(); ++piece) {
        CourseTriangle triangle{{}, {}, group};
        for (int v = 0; v < 3; ++v) {
            const Vector3& corner = corners[pieces[piece][static_cast<std::size_t>(v)]];
            for (int axis = 0; axis < 3; ++axis) {
                const FileCoordinate coordinate = fileCoordinateFor(corner[axis]);
                inexact += coordinate.exact ? 0 : 1;
                triangle.file[static_cast<std::size_t>(3 * v + axis)] = coordinate.fileValue;
                triangle.course[static_cast<std::size_t>(v)][axis] =
                    courseValueOf(coordinate.fileValue);
            }
        }
        // The reader's own test: a triangle whose normal is not finite has no area.
        Triangle check(&triangle.course[0], &triangle.course[1], &triangle.course[2], true);
        if (!check.hasFiniteNormal()) {
            std::cerr << where(face) << ": warning: "
                      << (pieces.size() == 1 ? std::string("the face")
                                             : "triangle " + std::to_string(piece + 1) + " of " +
                                                   std::to_string(pieces.size()) + " of the face")
                      << " has no area; left out\n";
            continue;
        }
        groups[group].triangles.push_back(triangles.size());
        triangles.push_back(triangle);
    }
}

void FaceCollector::collect() {
    std::size_t faceCount = 0;
    std::size_t indexCount = 0;
    for (const tinyobj::shape_t& shape : model_.shapes) {
        faceCount += shape.mesh.num_face_vertices.size();
        indexCount += shape.mesh.indices.size();
    }
    // The scan's corner counts are the reliable ones: tinyobjloader keeps a face's count in one
    // byte, so a face of more than 255 corners would misplace every face after it.
    std::size_t scannedCorners = 0;
    for (const std::size_t corners : lines_.corners) {
        scannedCorners += corners;
    }
    lineNumbersKnown_ = lines_.line.size() == faceCount && scannedCorners == indexCount;
    for (const long line : lines_.tooFewCorners) {
        std::cerr << options_.model << ":" << line
                  << ": warning: a face of fewer than three corners; left out\n";
    }

    std::size_t face = 0;
    for (std::size_t s = 0; s < model_.shapes.size(); ++s) {
        const tinyobj::mesh_t& mesh = model_.shapes[s].mesh;
        std::size_t next = 0;
        for (std::size_t f = 0; f < mesh.num_face_vertices.size(); ++f, ++face) {
            const std::size_t count =
                lineNumbersKnown_ ? lines_.corners[face] : mesh.num_face_vertices[f];
            if (next + count > mesh.indices.size()) {
                throw ImportError(options_.model +
                                  ": error: the faces hold more corners than "
                                  "tinyobjloader kept (a face of more than 255 corners?)");
            }
            std::vector<Vector3> corners;
            for (std::size_t c = 0; c < count; ++c) {
                corners.push_back(coursePoint(mesh.indices[next + c].vertex_index, face, c));
            }
            next += count;
            addFace(corners, face, groupOf(s, mesh.material_ids[f]));
        }
    }
}

Vector3 centroidOf(const CourseTriangle& t) {
    return (t.course[0] + t.course[1] + t.course[2]) / 3.0f;
}

// Splits a group's triangles into boxes of at most `limit`: at the median of the centroids along
// the axis they spread most, recursively, each box keeping the triangles in file order.
void splitIntoBoxes(std::vector<std::size_t> members, const std::vector<CourseTriangle>& all,
                    std::size_t limit, std::vector<std::vector<std::size_t>>& boxes) {
    if (members.size() <= limit) {
        boxes.push_back(std::move(members));
        return;
    }
    float low[3];
    float high[3];
    for (int axis = 0; axis < 3; ++axis) {
        low[axis] = std::numeric_limits<float>::infinity();
        high[axis] = -std::numeric_limits<float>::infinity();
    }
    for (const std::size_t i : members) {
        const Vector3 c = centroidOf(all[i]);
        for (int axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], c[axis]);
            high[axis] = std::max(high[axis], c[axis]);
        }
    }
    int widest = 0;
    for (int axis = 1; axis < 3; ++axis) {
        if (high[axis] - low[axis] > high[widest] - low[widest]) {
            widest = axis;
        }
    }
    // Ties in the centroid fall back on file order, so every split halves the list.
    const auto before = [&](std::size_t a, std::size_t b) {
        const float ca = centroidOf(all[a])[widest];
        const float cb = centroidOf(all[b])[widest];
        return ca < cb || (ca == cb && a < b);
    };
    const auto middle = members.begin() + static_cast<std::ptrdiff_t>(members.size() / 2);
    std::nth_element(members.begin(), middle, members.end(), before);
    std::vector<std::size_t> first(members.begin(), middle);
    std::vector<std::size_t> second(middle, members.end());
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    splitIntoBoxes(std::move(first), all, limit, boxes);
    splitIntoBoxes(std::move(second), all, limit, boxes);
}

void writeBoxes(const ImportOptions& options, const FaceCollector& faces, std::ostream& out) {
    for (const Group& group : faces.groups) {
        std::vector<std::vector<std::size_t>> boxes;
        splitIntoBoxes(group.triangles, faces.triangles,
                       static_cast<std::size_t>(options.boxTriangles), boxes);
        for (const std::vector<std::size_t>& box : boxes) {
            if (box.empty()) {
                continue;
            }
            out << "start\n";
            for (std::size_t i = 0; i < 4; ++i) {
                out << (i == 0 ? "" : " ") << shortestFloatText(group.colour[i]);
            }
            out << "\n";
            for (const std::size_t t : box) {
                const std::array<float, 9>& file = faces.triangles[t].file;
                for (std::size_t i = 0; i < file.size(); ++i) {
                    out << (i == 0 ? "" : i % 3 == 0 ? "  " : " ") << shortestFloatText(file[i]);
                }
                out << "\n";
            }
            out << "\n";
        }
    }
    out << "end\n";
}

void writeCourse(const ImportOptions& options, const FaceCollector& faces) {
    if (!writeOutputFile(options.output,
                         [&](std::ostream& out) { writeBoxes(options, faces, out); })) {
        throw ImportError(""); // said where it failed
    }
}

} // namespace

int importObj(const ImportOptions& options) {
    try {
        const std::string text = readModel(options.model);
        const FaceLines lines = scanFaceLines(text);
        const Model model = loadModel(options.model, text);
        FaceCollector faces(options, model, text, lines);
        faces.collect();
        if (faces.triangles.empty()) {
            throw ImportError(options.model + ": no face with an area to import");
        }
        if (faces.inexact > 0) {
            std::cerr << options.model << ": warning: " << faces.inexact
                      << " coordinates have no course file number that reads back exactly; each "
                         "is written as its nearest neighbour, one float step away\n";
        }
        writeCourse(options, faces);
    } catch (const ImportError& error) {
        if (error.what()[0] != '\0') {
            std::cerr << error.what() << "\n";
        }
        return exitUsage;
    }
    return 0;
}
