#include "ObjImport.h"

#include "FaceTriangulation.h"
#include "ObjScan.h"
#include "ToolCommandLine.h"
#include "ToolFile.h"
#include "course/CourseWriter.h"
#include "geometry/Triangle.h"
#include "scene/BallConstants.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <numeric>
#include <sstream>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The colour of faces that have no material: light grey, opaque.
constexpr std::array<float, 4> noMaterialColour = {0.8f, 0.8f, 0.8f, 1.0f};
// The file holds five times the course's numbers, and each must be a finite float.
constexpr double largestCourseCoordinate = std::numeric_limits<float>::max() / 5.0;
// The largest model and material file read: about three million triangles as editors write
// them, and far more materials than a course has boxes. tinyobjloader holds a model in up to
// about twenty times its text's size (a face "f 1 2 3" of 8 bytes costs about 150), so these
// bound the import's memory too.
constexpr std::size_t largestModelBytes = std::size_t(128) << 20;
constexpr std::size_t largestMaterialBytes = std::size_t(16) << 20;
// The most materials of all the material files together (each is about 2 KB in tinyobjloader).
constexpr std::size_t mostMaterials = 65536;
// Warnings of one kind listed before they are only counted.
constexpr long long mostListedWarnings = 5;

// The play area that --fit fills, course units: the ball starts at (20, 0, 0), a ball that comes
// to rest is put back at x and z from -20 to 20 at height 10, and the camera circles the
// vertical axis at radius 40, height 15. A fitted model's larger horizontal side spans -23 to
// 23 (as the bundled room does), within the camera's orbit even at the corners (32.5 from the
// axis), and its lowest point is at -2, the bundled floor's height, 2 below the start.
constexpr double fittedHalfWidth = 23.0;
constexpr double fittedFloor = -2.0;

// The fault that ends an import: the message is written where it is caught.
struct ImportError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The vertex index of corner `corner` (from 0) of the face whose corner words start at `at`, as
// the file writes it ("-9" of "-9/2/1"): tinyobjloader has turned relative indices into
// absolute ones by then, which names a vertex the file never did.
std::string writtenVertexIndex(std::string_view text, std::size_t at, std::size_t corner) {
    std::size_t word = text.find_first_not_of(" \t", at);
    for (std::size_t skipped = 0; skipped < corner; ++skipped) {
        word = text.find_first_not_of(" \t", text.find_first_of(" \t\r\n", word));
    }
    word = std::min(word, text.size());
    return std::string(text.substr(word, text.find_first_of(" \t\r\n/", word) - word));
}

// What a file named as a model (which may be a pipe) or a material file is, when it is not one
// to read.
const char* notReadable(const struct stat& status, bool pipesToo) {
    if (S_ISDIR(status.st_mode)) {
        return "it is a directory";
    }
    if (S_ISREG(status.st_mode) || (pipesToo && S_ISFIFO(status.st_mode))) {
        return nullptr;
    }
    return pipesToo ? "it is not a regular file or a pipe" : "it is not a regular file";
}

// Reads a whole file of at most `largest` bytes; false (with `fault` set) when it cannot be read
// or is larger. The file is opened without waiting for a pipe's writer (a pipe that nobody
// writes reads as empty), so that naming a FIFO never hangs; a device is refused before any
// read, and a pipe that never ends is cut at `largest`, so that memory stays bounded.
bool readBoundedFile(const std::string& path, std::size_t largest, bool pipesToo, std::string& text,
                     std::string& fault) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fault = std::string("cannot open it (") + std::strerror(errno) + ")";
        return false;
    }
    const std::string tooLarge =
        "it is larger than the import reads (" + std::to_string(largest >> 20) + " MiB)";
    struct stat status {};
    const char* notFile =
        ::fstat(fd, &status) != 0 ? "cannot tell what it is" : notReadable(status, pipesToo);
    if (notFile == nullptr && S_ISREG(status.st_mode) &&
        static_cast<unsigned long long>(status.st_size) > largest) {
        notFile = tooLarge.c_str();
    }
    if (notFile != nullptr) {
        fault = notFile;
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    text.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            fault = std::string("cannot read it (") + std::strerror(errno) + ")";
            break;
        }
        if (got == 0) {
            break;
        }
        if (text.size() + static_cast<std::size_t>(got) > largest) {
            fault = tooLarge;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return fault.empty();
}

std::string readModel(const std::string& path) {
    std::string text;
    std::string fault;
    if (!readBoundedFile(path, largestModelBytes, true, text, fault)) {
        const std::string cannotOpen = "cannot open it ";
        if (fault.rfind(cannotOpen, 0) == 0) {
            throw ImportError(path + ": error: cannot open the model " +
                              fault.substr(cannotOpen.size()));
        }
        throw ImportError(path + ": error: cannot read the model: " + fault);
    }
    return text;
}

// Warnings as they come, each kind listed up to mostListedWarnings times and counted beyond, so
// that a model of a million faces without area reports in a few lines.
class WarningLog {
public:
    explicit WarningLog(std::string model) : model_(std::move(model)) {}

    // `kind` names the warnings of a kind in the count ("faces without area").
    void add(const std::string& kind, const std::string& line) {
        auto found = std::find_if(kinds_.begin(), kinds_.end(),
                                  [&kind](const auto& entry) { return entry.first == kind; });
        if (found == kinds_.end()) {
            kinds_.emplace_back(kind, 0);
            found = kinds_.end() - 1;
        }
        if (++found->second <= mostListedWarnings) {
            std::cerr << line << "\n";
        }
    }

    // One line for each kind with warnings not listed; once.
    void finish() {
        if (finished_) {
            return;
        }
        finished_ = true;
        for (const auto& [kind, count] : kinds_) {
            if (count > mostListedWarnings) {
                std::cerr << model_ << ": warning: " << count - mostListedWarnings
                          << " more warnings of " << kind << " not listed\n";
            }
        }
    }

private:
    std::string model_;
    std::vector<std::pair<std::string, long long>> kinds_;
    bool finished_ = false;
};

// The line number a message of tinyobjloader names ("line 12.)", "line: 12"), or 0.
long long messageLineNumber(const std::string& message) {
    const std::size_t at = message.rfind("line");
    if (at == std::string::npos) {
        return 0;
    }
    const std::size_t digit = std::min(message.size(), message.find_first_not_of(": ", at + 4));
    long long number = 0; // kept when there is no number, or one beyond a long long
    std::from_chars(message.data() + digit, message.data() + message.size(), number);
    return number;
}

// The text between the first `open` and the next `close` after it, or "".
std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const std::size_t start = text.find(open);
    if (start == std::string::npos) {
        return "";
    }
    const std::size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? ""
                                    : text.substr(start + open.size(), end - start - open.size());
}

// One message of tinyobjloader in this tool's words, without its place. The reader's own
// English is matched by the start of each message of the tinyobjloader release the import is
// built with; a message not known here keeps its text, marked as the reader's.
std::string rewordReaderMessage(const std::string& message) {
    const auto startsWith = [&message](const char* start) { return message.rfind(start, 0) == 0; };
    if (startsWith("Both `d` and `Tr`")) {
        return "the material " + quoted(between(message, "\"", "\"")) +
               " gives both d and Tr; its dissolve is d";
    }
    if (startsWith("Looks like empty filename for mtllib")) {
        return "an mtllib statement without a file name; the default material is used";
    }
    if (startsWith("Empty group name")) {
        return "a group statement without a name";
    }
    if (startsWith("material [")) {
        std::string name = between(message, "[ ", " ]");
        if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'') {
            name = name.substr(1, name.size() - 2);
        }
        return "the material " + quoted(std::as_const(name)) + " is in no material file read";
    }
    if (startsWith("Failed parse `")) {
        return "the " + between(message, "`", "'") +
               " statement cannot be read (an index of zero, or not a number)";
    }
    if (startsWith("Face with invalid vertex index")) {
        return "a face with a vertex index out of range; left out";
    }
    if (startsWith("Material stream in error state") || startsWith("Material file [")) {
        return "a material file cannot be read";
    }
    return "the OBJ reader says: " + message;
}

// Each line of tinyobjloader's message text as "FILE:LINE: KIND: ..." (or "FILE: KIND: ..."
// where it names no line), reworded; FILE is the model or the material file being read.
void passOn(const std::string& model, const char* kind, const std::string& messages,
            WarningLog& warnings) {
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) {
        // Faces of fewer than three corners and vertex indices out of range are reported with
        // their own line by the import itself ("." is a stray end of the first message, and the
        // second names the last line of the file), and so are material files that cannot be
        // read. Normals and texture coordinates are not used, so their indices do not matter.
        const bool reportedOrUnused = line.rfind("Degenerated face found", 0) == 0 ||
                                      line.rfind("Failed to load material file", 0) == 0 ||
                                      line.find("indices out of bounds") != std::string::npos;
        if (line.empty() || line == "." || reportedOrUnused) {
            continue;
        }
        const long long lineNumber = messageLineNumber(line);
        const std::string text =
            model + (lineNumber > 0 ? ":" + std::to_string(lineNumber) : std::string()) + ": " +
            kind + ": " + rewordReaderMessage(line);
        if (std::strcmp(kind, "warning") == 0) {
            warnings.add("the OBJ reader", text);
        } else {
            std::cerr << text << "\n";
        }
    }
}

// The "newmtl" lines of a scanned material text, which holds each statement at a line's start.
std::size_t countMaterials(const std::string& scanned) {
    std::size_t count = scanned.rfind("newmtl", 0) == 0 ? 1 : 0;
    for (std::size_t at = scanned.find("\nnewmtl"); at != std::string::npos;
         at = scanned.find("\nnewmtl", at + 1)) {
        ++count;
    }
    return count;
}

// The MTL files of the model, read for tinyobjloader by the import: a file that cannot be read
// (missing, a directory, a pipe, a device, larger than largestMaterialBytes) is a warning at the
// "mtllib" line naming it, and its materials are missing (their faces are light grey); a file
// whose numbers cannot be read faithfully ends the import (error()).
class MaterialFiles : public tinyobj::MaterialReader {
public:
    MaterialFiles(const std::string& model, const ModelScan& scan, WarningLog& warnings)
        : model_(model), scan_(scan), warnings_(warnings),
          directory_(std::filesystem::path(model).parent_path().string()) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* byName, std::string* /*warn*/,
                    std::string* err) override {
        if (name.empty() || !error_.empty()) {
            return false;
        }
        const std::string path = directory_.empty() ? name : directory_ + "/" + name;
        std::string text;
        std::string fault;
        if (!readBoundedFile(path, largestMaterialBytes, false, text, fault)) {
            const auto line = scan_.materialFileLine.find(name);
            const std::string where = model_ + (line == scan_.materialFileLine.end()
                                                    ? std::string()
                                                    : ":" + std::to_string(line->second));
            warnings_.add("material files not read", where + ": warning: the material file " +
                                                         path + " is not read: " + fault +
                                                         "; its materials' faces are light grey");
            return false;
        }
        try {
            const std::string scanned = scanMaterials(text, path);
            // LoadMtl adds one material more than the file names: the one being read at its end.
            const std::size_t added = countMaterials(scanned) + 1;
            if (materials->size() + added > mostMaterials) {
                warnings_.add("material files not read",
                              model_ + ": warning: the material file " + path +
                                  " is not read: more than " + std::to_string(mostMaterials) +
                                  " materials in all; its materials' faces are light grey");
                return false;
            }
            std::istringstream kept(scanned);
            std::string materialWarnings;
            tinyobj::LoadMtl(byName, materials, &kept, &materialWarnings, err);
            // Said here, where the material file's name is known; its line numbers are its own.
            passOn(path, "warning", materialWarnings, warnings_);
        } catch (const ObjScanError& fault) {
            error_ = fault.what();
            return false;
        }
        return true;
    }

    // The fault that ends the import, or "".
    const std::string& error() const { return error_; }

private:
    const std::string& model_;
    const ModelScan& scan_;
    WarningLog& warnings_;
    std::string directory_;
    std::string error_;
};

// The model's text as a stream, without a copy.
class TextBuffer : public std::streambuf {
public:
    explicit TextBuffer(std::string& text) {
        setg(text.data(), text.data(), text.data() + text.size());
    }
};

struct Model {
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
};

Model loadModel(const std::string& path, std::string& text, const ModelScan& scan,
                WarningLog& warnings) {
    Model model;
    TextBuffer buffer(text);
    std::istream in(&buffer);
    MaterialFiles materials(path, scan, warnings);
    std::string warningText;
    std::string errors;
    // Faces are triangulated here (triangulateFace), not by tinyobjloader: its triangles keep no
    // trace of the face they came from, whose line the warnings name, and it splits a quad along
    // its shorter diagonal where the import has always fanned from the first corner.
    const bool loaded = tinyobj::LoadObj(&model.attrib, &model.shapes, &model.materials,
                                         &warningText, &errors, &in, &materials,
                                         /*triangulate=*/false);
    if (!materials.error().empty()) {
        throw ImportError(materials.error());
    }
    passOn(path, "warning", warningText, warnings);
    if (!loaded) {
        passOn(path, "error", errors, warnings);
        throw ImportError("");
    }
    passOn(path, "warning", errors, warnings);
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
                  const FaceLines& lines, WarningLog& warnings)
        : options_(options), model_(model), text_(text), lines_(lines), warnings_(warnings),
          scale_(options.scale) {}

    void collect();

    std::vector<CourseTriangle> triangles;
    std::vector<Group> groups;
    long long inexact = 0;

private:
    std::string where(std::size_t face) const;
    std::string vertexName(int vertex, std::size_t face, std::size_t corner) const;
    std::size_t groupOf(std::size_t shape, int material);
    std::array<double, 3> modelPoint(int vertex, std::size_t face, std::size_t corner) const;
    Vector3 coursePoint(int vertex, std::size_t face, std::size_t corner);
    void addFace(const std::vector<Vector3>& corners, std::size_t face, std::size_t group);
    template <typename Visit> void forEachFace(Visit visit) const;
    void fitToPlayArea();

    const ImportOptions& options_;
    const Model& model_;
    const std::string& text_;
    const FaceLines& lines_;
    WarningLog& warnings_;
    bool lineNumbersKnown_ = false;
    std::map<long long, std::size_t> groupByKey_;
    // course = (model - fitFrom_) * scale_ + fitTo_ with --fit, model * scale_ without (which
    // keeps a zero's sign).
    double scale_;
    std::array<double, 3> fitFrom_{};
    std::array<double, 3> fitTo_{};
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
        if (!std::all_of(group.colour.begin(), group.colour.end(),
                         [](float c) { return std::isfinite(c); })) {
            // The material scan lets only finite floats through; the course reader refuses
            // any other colour.
            throw ImportError(options_.model + ": error: the material " + quoted(m.name) +
                              " has a colour that is not finite");
        }
    }
    groups.push_back(group);
    groupByKey_[key] = groups.size() - 1;
    return groups.size() - 1;
}

// A vertex in the course's axes, model units: with --up z, turned a right-handed quarter turn
// about x, (x, y, z) -> (x, z, -y), so that the model's +z is the course's +y; a turn, not a
// mirror, so each face keeps the side it shows.
std::array<double, 3> FaceCollector::modelPoint(int vertex, std::size_t face,
                                                std::size_t corner) const {
    const std::size_t vertexCount = model_.attrib.vertices.size() / 3;
    if (vertex < 0 || static_cast<std::size_t>(vertex) >= vertexCount) {
        throw ImportError(where(face) + ": error: the face uses vertex " +
                          vertexName(vertex, face, corner) + ", but the model has " +
                          std::to_string(vertexCount) + " vertices");
    }
    const float* v = &model_.attrib.vertices[3 * static_cast<std::size_t>(vertex)];
    if (options_.zUp) {
        return {double(v[0]), double(v[2]), -double(v[1])};
    }
    return {double(v[0]), double(v[1]), double(v[2])};
}

Vector3 FaceCollector::coursePoint(int vertex, std::size_t face, std::size_t corner) {
    const std::array<double, 3> model = modelPoint(vertex, face, corner);
    Vector3 point;
    for (int axis = 0; axis < 3; ++axis) {
        const std::size_t a = static_cast<std::size_t>(axis);
        const double value =
            options_.fit ? (model[a] - fitFrom_[a]) * scale_ + fitTo_[a] : model[a] * scale_;
        if (!(std::fabs(value) <= largestCourseCoordinate)) {
            throw ImportError(where(face) + ": error: vertex " + vertexName(vertex, face, corner) +
                              " times the scale " + formatNumber(scale_) +
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
                const CourseWriter::FileNumber number = CourseWriter::fileNumberFor(corner[axis]);
                inexact += number.exact ? 0 : 1;
                triangle.file[static_cast<std::size_t>(3 * v + axis)] = number.value;
                triangle.course[static_cast<std::size_t>(v)][axis] =
                    CourseWriter::courseValueOf(number.value);
            }
        }
        // The reader's own test: a triangle whose normal is not finite has no area.
        Triangle check(&triangle.course[0], &triangle.course[1], &triangle.course[2], true);
        if (!check.hasFiniteNormal()) {
            warnings_.add("faces without area",
                          where(face) + ": warning: " +
                              (pieces.size() == 1
                                   ? std::string("the face")
                                   : "triangle " + std::to_string(piece + 1) + " of " +
                                         std::to_string(pieces.size()) + " of the face") +
                              " has no area; left out");
            continue;
        }
        groups[group].triangles.push_back(triangles.size());
        triangles.push_back(triangle);
    }
}

// Calls visit(shape, face in the shape, face in the model, its first index, its corner count) for
// every face, in file order.
template <typename Visit> void FaceCollector::forEachFace(Visit visit) const {
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
            visit(s, f, face, next, count);
            next += count;
        }
    }
}

// --fit: the scale and the move that put the faces' corners in the play area, the larger
// horizontal side spanning -fittedHalfWidth to fittedHalfWidth around the vertical axis and the
// lowest corner at fittedFloor. The scale is the same along every axis, so the model keeps its
// shape; a warning says when its shorter side leaves respawn places outside it.
void FaceCollector::fitToPlayArea() {
    std::array<double, 3> low;
    std::array<double, 3> high;
    low.fill(std::numeric_limits<double>::infinity());
    high.fill(-std::numeric_limits<double>::infinity());
    forEachFace(
        [&](std::size_t s, std::size_t, std::size_t face, std::size_t first, std::size_t count) {
            const tinyobj::mesh_t& mesh = model_.shapes[s].mesh;
            for (std::size_t c = 0; c < count; ++c) {
                const std::array<double, 3> p =
                    modelPoint(mesh.indices[first + c].vertex_index, face, c);
                for (std::size_t a = 0; a < 3; ++a) {
                    low[a] = std::min(low[a], p[a]);
                    high[a] = std::max(high[a], p[a]);
                }
            }
        });
    const double width = std::max(high[0] - low[0], high[2] - low[2]);
    if (!(width > 0.0)) {
        // Every face's corners on one vertical line: none has an area.
        throw ImportError(options_.model + ": error: no face with an area to import");
    }
    scale_ = 2.0 * fittedHalfWidth / width;
    fitFrom_ = {0.5 * (low[0] + high[0]), low[1], 0.5 * (low[2] + high[2])};
    fitTo_ = {0.0, fittedFloor, 0.0};
    const double halfX = 0.5 * (high[0] - low[0]) * scale_;
    const double halfZ = 0.5 * (high[2] - low[2]) * scale_;
    if (std::min(halfX, halfZ) < ball_constants::respawnReach + double(ball_constants::radius)) {
        warnings_.add("the fit", options_.model + ": warning: fitted at scale " +
                                     formatNumber(scale_) + ", the model spans x from " +
                                     formatNumber(-halfX) + " to " + formatNumber(halfX) +
                                     " and z from " + formatNumber(-halfZ) + " to " +
                                     formatNumber(halfZ) +
                                     ": not every respawn place (x and z from -20 to 20) and "
                                     "not the ball's start (20, 0, 0) lie within it");
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
    const std::size_t scannedCorners =
        std::accumulate(lines_.corners.begin(), lines_.corners.end(), std::size_t{0});
    lineNumbersKnown_ = lines_.line.size() == faceCount && scannedCorners == indexCount;
    for (const long line : lines_.tooFewCorners) {
        warnings_.add("faces of fewer than three corners",
                      options_.model + ":" + std::to_string(line) +
                          ": warning: a face of fewer than three corners; left out");
    }
    if (options_.fit) {
        fitToPlayArea();
    }
    forEachFace(
        [&](std::size_t s, std::size_t f, std::size_t face, std::size_t first, std::size_t count) {
            const tinyobj::mesh_t& mesh = model_.shapes[s].mesh;
            std::vector<Vector3> corners;
            for (std::size_t c = 0; c < count; ++c) {
                corners.push_back(coursePoint(mesh.indices[first + c].vertex_index, face, c));
            }
            addFace(corners, face, groupOf(s, mesh.material_ids[f]));
        });
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
    CourseWriter writer(out);
    for (const Group& group : faces.groups) {
        std::vector<std::vector<std::size_t>> boxes;
        splitIntoBoxes(group.triangles, faces.triangles,
                       static_cast<std::size_t>(options.boxTriangles), boxes);
        for (const std::vector<std::size_t>& box : boxes) {
            if (box.empty()) {
                continue;
            }
            writer.startBox(group.colour);
            for (const std::size_t t : box) {
                const std::array<float, 9>& file = faces.triangles[t].file;
                std::array<float, 9> written;
                for (std::size_t i = 0; i < file.size(); ++i) {
                    // --flip writes corners 0, 2, 1: the same triangle (kept, and put in its
                    // box, as without it), wound the other way.
                    const std::size_t corner = options.flip ? (3 - i / 3) % 3 : i / 3;
                    written[i] = file[3 * corner + i % 3];
                }
                writer.addFileTriangle(written);
            }
        }
    }
    writer.finish();
}

void writeCourse(const ImportOptions& options, const FaceCollector& faces) {
    if (!writeOutputFile(options.output,
                         [&](std::ostream& out) { writeBoxes(options, faces, out); })) {
        throw ImportError(""); // said where it failed
    }
}

} // namespace

int importObj(const ImportOptions& options) {
    WarningLog warnings(options.model);
    try {
        std::string text = readModel(options.model);
        const ModelScan scan = scanModel(text, options.model);
        const Model model = loadModel(options.model, text, scan, warnings);
        FaceCollector faces(options, model, text, scan.faces, warnings);
        faces.collect();
        warnings.finish();
        if (faces.triangles.empty()) {
            throw ImportError(options.model + ": error: no face with an area to import");
        }
        if (faces.inexact > 0) {
            std::cerr << options.model << ": warning: " << faces.inexact
                      << " coordinates have no course file number that reads back exactly; each "
                         "is written as its nearest neighbour, one float step away\n";
        }
        writeCourse(options, faces);
    } catch (const ObjScanError& error) {
        std::cerr << error.what() << "\n";
        return exitUsage;
    } catch (const ImportError& error) {
        warnings.finish();
        if (error.what()[0] != '\0') {
            std::cerr << error.what() << "\n";
        }
        return exitUsage;
    }
    return 0;
}
