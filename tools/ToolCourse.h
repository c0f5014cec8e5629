#pragma once

#include "course/CourseReader.h"
#include "geometry/Triangle.h"
#include "physics/ContactIndex.h"
#include "physics/SimulationSettings.h"
#include "scene/CollisionBox.h"

#include <memory>
#include <string>
#include <vector>

// A course as the program's reader builds it, with the contact index the program builds over
// it; the triangles live until the process ends.
struct Course {
    std::vector<Triangle*> triangles;
    std::vector<CollisionBox> boxes;
    std::unique_ptr<ContactIndex> index;

    // Lets the settings search this course's contacts through its index, as the program does;
    // with `exhaustive`, by testing every triangle of every box the sweep overlaps instead (the
    // reference the index is held to: the results are the same, bit for bit).
    void searchWith(SimulationSettings& settings, bool exhaustive) const {
        settings.useContactIndex(exhaustive ? nullptr : index.get());
    }
};

// Loads with the program's reader. Its console lines (a number per triangle, the loading time)
// only drive a progress line on standard error when that is a terminal; its warnings and its
// one failure line go to standard error as the reader writes them. `options` may ask for the
// triangles' places in the file and leave out the reader's warnings; its diagnostics stream,
// storage and missing-file note are the tools' own and are not taken from it. The contact index
// is built after a successful load.
bool loadCourse(const std::string& fileName, Course& course, const CourseReadOptions& options = {});
