#pragma once

#include <string>

// minigolf-course generate: courses for measuring and testing the contact search (a room, a room
// with a bumpy floor, awkward triangles), with random sweeps through them.
struct GenerateOptions {
    std::string kind; // "room", "terrain" or "awkward"
    std::string output;
    int cells = 29;       // room and terrain: cells along each side of a wall
    int tiles = 2;        // room and terrain: boxes along each side of a wall
    int triangles = 3000; // awkward
    unsigned seed = 1;
    // Sweeps to write to `sweepsOutput` (no file when it is empty), their length and the least
    // distance of their starts from every triangle, course units.
    int sweeps = 0;
    std::string sweepsOutput;
    float sweepLength = 2.0f;
    float clearance = 1.0f;
};

// Writes the course (and the sweeps); returns the exit status, with a message on standard
// error when a file cannot be written.
int generateCourse(const GenerateOptions& options);
