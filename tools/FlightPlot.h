#pragma once

#include "tools/FlightRecorder.h"
#include "tools/ToolCourse.h"

#include <string>

// What the plot's title says about the flight.
struct PlotCaption {
    std::string courseName;
    double dt = 0.0;
    long long collides = 0;
    float ballRadius = 0.0f;
};

// The flight over the course as a standalone SVG document: a view from above (x to the right,
// z down the page) over a view from the side (x to the right, y up), both on one scale so that
// their x axes line up. Inside each view a group maps course units to the page, so the points of
// triangles and path are written in course units:
//   <g class="view" id="top" ...><g class="course" transform="matrix(...)"> polygons
//   <g class="path" transform="matrix(...)"> polylines, circles (bounces), crosses (respawns)
std::string flightSvg(const Course& course, const FlightPath& path, const PlotCaption& caption);
