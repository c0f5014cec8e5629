#pragma once

#include <string>

// minigolf-course export: a course file as a Wavefront OBJ model with its MTL materials beside
// it (MODEL.mtl for MODEL.obj), so that any 3D viewer shows it. Each box becomes one group
// ("box_N", N from 0 in file order) with one material of the same name, whose diffuse and
// ambient colour is the box's red, green and blue and whose dissolve is its alpha. One course
// unit is one OBJ unit; vertices shared by triangles are written once. Every number is written
// so that tinyobjloader reads back exactly the course's float, so an export imported again
// (with the default scale and boxes of at most 256 triangles) gives back the same triangles. A
// box without triangles keeps its material but has no face, and so no box after an import.
// The two files are put in place together (writeOutputFilesTogether), or neither is.
struct ExportOptions {
    std::string course;
    std::string output;
};

// Returns 0, or 2 after one line on standard error when the course cannot be read or the model
// cannot be written.
int exportObj(const ExportOptions& options);
