#pragma once

#include "FlightRecorder.h"
#include "physics/LoadedCourse.h"

#include <string>

// What the plot's title says about the flight.
struct PlotCaption {
    std::string courseName;
    double dt = 0.0;
    long long collides = 0;
    float ballRadius = 0.0f;
};

// The flight over the course as a standalone SVG document: a view from above (x to the right,
// z down the page) over a view from the side (x to the right, y up), and beside that a view from
// the front (z to the right, y up, looking along +x), all on one scale so that the x axes and the
// y axes line up. Every view is framed on the course (on the flight when the course has no
// triangle); the path is cut at the frame. Inside each view a group maps course units to the
// page, so the points of triangles and path are written in course units:
//   <g class="view" id="top|side|front" ...><g class="course" transform="matrix(...)"> polygons
//   <g class="path" transform="matrix(...)"> polylines, circles (bounces), crosses (respawns)
//   <g class="crossings" transform="matrix(...)"> a diamond where the path meets the frame
// Marks that stand for a point (start, end, crossings) keep one size on the page at any scale.
std::string flightSvg(const LoadedCourse& course, const FlightPath& path,
                      const PlotCaption& caption);
