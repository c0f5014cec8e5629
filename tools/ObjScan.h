#pragma once

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// The import's own reading of an OBJ model and of its MTL files, before tinyobjloader reads them.
// tinyobjloader takes a word that is not a number as 0, converts a number beyond the range of a
// float to float (undefined behaviour), and reads indices with atoi (beyond 32 bits, undefined
// too); it keeps no line numbers. So each line is read here as tinyobjloader reads it (lines end
// at "\n", "\r\n" or "\r", and at a NUL byte; words are separated by spaces and tabs; a statement
// is known by its first word), every number the import uses is checked, and every statement the
// import does not use (normals, texture coordinates, skin weights, lines, points, tags, smoothing
// groups, material settings other than the diffuse colour and the dissolve) is cleared, in place,
// so that tinyobjloader never parses it. Line numbers stay as they were.

// A fault, as one line: "FILE:LINE: error: ...".
struct ObjScanError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where each face of the OBJ is: the line and the corner count of every face tinyobjloader
// keeps, in file order, and where its corner words start in the text (just after its "f").
// Faces of fewer than three corners, which tinyobjloader drops, are listed apart.
struct FaceLines {
    std::vector<long> line;
    std::vector<std::size_t> corners;
    std::vector<std::size_t> cornersAt;
    std::vector<long> tooFewCorners;
};

struct ModelScan {
    FaceLines faces;
    std::size_t vertices = 0;
    // The first "mtllib" line that names each material file, by the name as written.
    std::map<std::string, long> materialFileLine;
};

// Checks the model's text and clears what the import does not use. A vertex needs three numbers
// that are finite floats (x y z; a w or a colour after them is not used); a face corner is
// "i", "i/j", "i//k" or "i/j/k" of whole numbers, and its vertex index i must name a vertex of
// the model (from 1 to the number of vertices, or from -1 back to the first one before the
// face). Of each corner only the vertex index reaches tinyobjloader, and an index 0 is left to
// it, which refuses it. Throws ObjScanError for the first fault.
ModelScan scanModel(std::string& text, const std::string& model);

// The material file's text as tinyobjloader is given it: "newmtl" lines, the diffuse colour
// ("Kd R G B") and the dissolve ("d A", or "Tr T" for 1 - T) checked to be finite floats, and a
// diffuse texture ("map_Kd", whose presence alone makes a material without Kd grey) kept; every
// other line empty. Throws ObjScanError for the first fault.
std::string scanMaterials(const std::string& text, const std::string& file);
