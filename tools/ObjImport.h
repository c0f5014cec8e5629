#pragma once

#include <string>

// minigolf-course import: a Wavefront OBJ model (with its MTL materials) as a course file.
//
// The model is read by tinyobjloader. Faces of more than three corners are triangulated with
// their winding kept, so the face an OBJ's counter-clockwise corners show (its front) is the
// side the ball strikes. Each material becomes boxes of at most `boxTriangles` triangles, split
// at the median of the triangles' centroids along their longest extent until each part is
// small enough, so that boxes are tight; without any material, each group or object does. A
// box's colour is its material's diffuse colour (Kd) with its dissolve (d) as alpha; faces
// without a material are light grey.
//
// One OBJ unit becomes `scale` course units; the file holds five times the course values, each
// written as the shortest number that the course reader turns back into exactly that float (or
// into its nearest neighbour where no file number gives it exactly: see course/CourseWriter.h).
// Faces without area are left out with a warning naming the OBJ file and line; each kind of
// warning is listed a few times and then counted.
//
// Before tinyobjloader reads the model, the import reads it itself (ObjScan.h): numbers that are
// not finite floats, indices beyond the vertices and material files that cannot be read
// faithfully are refused there with the line they are on, and tinyobjloader only sees what the
// import uses.
struct ImportOptions {
    std::string model;
    std::string output;
    double scale = 1.0;
    long long boxTriangles = 256;
    bool flip = false; // every face wound the other way: its back becomes the side struck
    bool zUp = false;  // the model's up is +z, turned to the course's +y
    bool fit = false;  // scaled and moved into the play area instead of by `scale`
};

// Writes the course; returns 0, or 2 after one line on standard error when the model cannot be
// read or the course cannot be written. Warnings go to standard error as "MODEL.obj:LINE:
// warning: ...".
int importObj(const ImportOptions& options);
