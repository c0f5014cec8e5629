// Fuzz target of the OBJ import: any bytes as a model, and what follows a line "#MTL" in them as
// its material file m.mtl, imported by importObj from a scratch folder. Besides "no crash, no
// hang, bounded memory" (the import refuses what tinyobjloader would read wrongly or with
// undefined behaviour):
//  - the status is 0 or 2; a 0 has written a course that the program's course reader reads
//    back, with at least one triangle, and said no error; a 2 has said exactly one line that is
//    not a warning;
//  - the messages stay a few lines whatever the input: past five warnings of a kind, they are
//    counted in one line;
//  - every message starts with the name of the model or of a material file;
//  - imported again with --flip, the course holds the same triangles each wound the other way.
// A line "#import OPTION..." of the model sets options: --fit, --up z, --box-triangles 1. The
// scratch folder also holds fifo.mtl (a FIFO that nobody writes), folder.mtl (a directory) and
// zero.mtl (a link to /dev/zero), for "mtllib" lines to name.
#include "ObjImport.h"
#include "course/CourseReader.h"
#include "course/TriangleStorage.h"

#include "support/TextLines.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Messages of a refused or warned import: five per kind of warning, a count line per kind, one
// error, with room to spare; far fewer than a hostile model could make one by one.
constexpr std::size_t mostMessageLines = 40;

void require(bool condition, const char* invariant) {
    if (!condition) {
        std::fprintf(stderr, "broken invariant: %s\n", invariant);
        std::abort();
    }
}

// The scratch folder, made once with the odd material files in it and removed at exit.
struct Scratch {
    fs::path path;

    Scratch() {
        std::string name = (fs::temp_directory_path() / "obj-import-fuzz-XXXXXX").string();
        require(::mkdtemp(name.data()) != nullptr, "the scratch folder is made");
        path = name;
        require(::mkfifo((path / "fifo.mtl").c_str(), 0600) == 0, "the FIFO is made");
        fs::create_directory(path / "folder.mtl");
        fs::create_symlink("/dev/zero", path / "zero.mtl");
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& folder() {
    static const Scratch scratch;
    return scratch.path;
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    require(static_cast<bool>(out), "the scratch files are written");
}

// The options of a "#import ..." line.
ImportOptions optionsOf(std::string_view model) {
    ImportOptions options;
    const std::size_t at = model.find("#import ");
    if (at == std::string_view::npos || (at > 0 && model[at - 1] != '\n')) {
        return options;
    }
    const std::string_view line = model.substr(at, model.find('\n', at) - at);
    options.fit = line.find(" --fit") != std::string_view::npos;
    options.zUp = line.find(" --up z") != std::string_view::npos;
    options.boxTriangles = line.find(" --box-triangles 1") != std::string_view::npos ? 1 : 256;
    return options;
}

struct Import {
    int status = -1;
    std::string messages;
    std::vector<float> vertices; // of the course read back, triangle after triangle
};

Import runImport(ImportOptions options) {
    Import result;
    std::ostringstream captured;
    std::streambuf* const standardError = std::cerr.rdbuf(captured.rdbuf());
    result.status = importObj(options);
    std::cerr.rdbuf(standardError);
    result.messages = captured.str();
    if (result.status != 0) {
        return result;
    }
    std::ifstream in(options.output, std::ios::binary);
    const std::string course{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    TriangleStorage storage;
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::ostringstream console, diagnostics;
    CourseReadOptions readOptions;
    readOptions.storage = &storage;
    readOptions.diagnostics = &diagnostics;
    const bool read = CourseReader::instance()->parseBytes(course, "course.txt", triangles, boxes,
                                                           console, readOptions);
    require(read, "every course the import writes reads back");
    require(!triangles.empty(), "a written course holds a triangle");
    for (const Triangle* triangle : triangles) {
        for (int v = 0; v < 3; ++v) {
            const Vector3 p = *triangle->vertex(v);
            result.vertices.insert(result.vertices.end(), {p.x, p.y, p.z});
        }
    }
    return result;
}

void checkMessages(const Import& import, const std::string& model, const std::string& materials) {
    require(import.status == 0 || import.status == 2, "the status is 0 or 2");
    const std::vector<std::string> lines = linesOf(import.messages);
    require(lines.size() <= mostMessageLines, "warnings past a few of a kind are counted");
    std::size_t notWarnings = 0;
    for (const std::string& line : lines) {
        require(line.rfind(model, 0) == 0 || line.rfind(materials, 0) == 0 ||
                    line.rfind(folder().string(), 0) == 0,
                "every message names the model or a material file");
        notWarnings += line.find(": warning: ") == std::string::npos ? 1 : 0;
    }
    require(notWarnings == (import.status == 0 ? 0u : 1u),
            "a refusal is one line besides the warnings, a success none");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string marker = "\n#MTL\n";
    const std::size_t split = bytes.find(marker);
    const std::string model = (folder() / "model.obj").string();
    const std::string materials = (folder() / "m.mtl").string();
    writeFile(model, bytes.substr(0, split));
    if (split == std::string_view::npos) {
        fs::remove(materials);
    } else {
        writeFile(materials, bytes.substr(split + marker.size()));
    }
    ImportOptions options = optionsOf(bytes.substr(0, split));
    options.model = model;
    options.output = (folder() / "course.txt").string();
    fs::remove(options.output);

    const Import plain = runImport(options);
    checkMessages(plain, model, materials);
    if (plain.status == 0) {
        options.flip = true;
        const Import flipped = runImport(options);
        require(flipped.status == 0 && flipped.vertices.size() == plain.vertices.size(),
                "a flipped import gives as many triangles");
        for (std::size_t t = 0; t < plain.vertices.size(); t += 9) {
            // Corners 0, 1, 2 become 0, 2, 1.
            for (std::size_t c = 0; c < 3; ++c) {
                require(std::memcmp(&flipped.vertices[t + c], &plain.vertices[t + c],
                                    sizeof(float)) == 0 &&
                            std::memcmp(&flipped.vertices[t + 3 + c], &plain.vertices[t + 6 + c],
                                        sizeof(float)) == 0 &&
                            std::memcmp(&flipped.vertices[t + 6 + c], &plain.vertices[t + 3 + c],
                                        sizeof(float)) == 0,
                        "a flipped import winds each triangle the other way");
            }
        }
    }
    return 0;
}
