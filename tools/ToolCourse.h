#pragma once

#include "course/CourseReader.h"
#include "geometry/Triangle.h"
#include "scene/CollisionBox.h"

#include <string>
#include <vector>

// A course as the program's reader builds it; the triangles live until the process ends.
struct Course {
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
};

// Loads with the program's reader. Its console lines (a number per triangle, the loading time)
// only drive a progress line on standard error when that is a terminal; its warnings and its
// one failure line go to standard error as the reader writes them. `options` may ask for the
// triangles' places in the file and leave out the reader's warnings; its diagnostics stream,
// storage and missing-file note are the tools' own and are not taken from it.
bool loadCourse(const std::string& fileName, Course& course,
                const CourseReadOptions& options = {});
