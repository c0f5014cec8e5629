#pragma once

#include "course/CourseInput.h"
#include "course/TriangleStorage.h"
#include "geometry/Triangle.h"
#include "scene/CollisionBox.h"

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

// Where each box and each triangle that a parse appended begins in the course file, one entry per
// box and per triangle in the order of the lists: a box at its "start", a triangle at its first
// number. For tools that point into the file (a course linter, an editor's jump list).
struct CourseSources {
    std::vector<SourcePosition> boxes;
    std::vector<SourcePosition> triangles;
};

// What a parse may be given besides the file and the two lists. The defaults are the program's.
struct CourseReadOptions {
    // Where errors and warnings about the course go; standard error when null.
    std::ostream* diagnostics = nullptr;
    // Where the triangles are kept; when null, the process-wide storage that is never freed.
    TriangleStorage* storage = nullptr;
    // When given, receives the position of every box and triangle the parse appends.
    CourseSources* sources = nullptr;
    // Whether a degenerate triangle gets its warning line. A caller that reports degenerate
    // triangles itself among its own findings (the course linter) turns it off, so that each
    // is named once.
    bool warnDegenerate = true;
    // How many threads build the triangles' frames, the calling one included; 0 means one per
    // core. The frames are the same whatever the number.
    unsigned threads = 0;
    // A line printed as a note after "cannot open" when the course file does not exist (how to
    // start the program where its course is, say); none when empty.
    std::string missingFileNote;
};

// Reads a course file: words separated by white space,
//
//   course   := box* "end"
//   box      := "start" colour triangle*
//   colour   := red green blue alpha          (stored as read)
//   triangle := x y z  x y z  x y z           (each times 0.2: file units to course units)
//
// Numbers are read as `std::istream >> float` reads them in the classic locale, so a number can
// end inside a word ("1.5.3" is 1.5 and then .3). Every triangle is built with its frames and
// appended to `triangles`; every box is appended to `boxes` and holds pointers to its own
// triangles. Nothing after the first "end" is read. The input is read front to back in chunks,
// so pipes, FIFOs and /dev/stdin serve as well as files.
//
// The reader is also an input file stream with a word look-ahead (peekWord, skipWord) for whoever
// opens a file on it; parse does not use the stream, since putting a read position back is what
// a pipe cannot do.
class CourseReader : public std::ifstream {
public:
    // The two markers of the grammar above, compared with whole words.
    static constexpr std::string_view startWord = "start";
    static constexpr std::string_view endWord = "end";

    // The one reader of the process, made on first use and never destroyed.
    static CourseReader* instance();

    // Appends the course in fileName to the two lists, printing each triangle's running number
    // and, on success, the loading time in seconds to `console`, one per line. True when the
    // course was read up to its "end". On failure the loading time is not printed; what was read
    // before the fault stays in the lists, and the diagnostics say why:
    //  - a fault in the course: one line in the form editors read, "FILE:LINE:COLUMN: error:
    //    expected ..., found ...", and when a marker stands where a number was due, a second
    //    line "FILE:LINE:COLUMN: note: box N began here; ..." at that box's "start", since the
    //    number missing (or extra) may lie anywhere after it;
    //  - a file that cannot be opened: one line without a position, "FILE: error: cannot open the
    //    course file (REASON)" (with the working folder for a relative name), and for a file that
    //    does not exist a second line "FILE: note: ..." when options.missingFileNote is given;
    //  - a read that fails midway (a directory, an I/O error): one line without a position,
    //    "FILE: error: cannot read the course file (REASON)".
    // A degenerate triangle loads and keeps its number, with a "FILE:LINE:COLUMN: warning:" line
    // naming it. Afterwards the lists and boxes keep no room they do not use.
    bool parse(std::string fileName, std::vector<Triangle*>& triangles,
               std::vector<CollisionBox>& boxes, std::ostream& console = std::cout,
               const CourseReadOptions& options = {});

    // The same for a course already in memory (a fuzz target's input), named `name` in the
    // messages: the same lists, output and messages as a file holding these bytes.
    bool parseBytes(std::string_view bytes, const std::string& name,
                    std::vector<Triangle*>& triangles, std::vector<CollisionBox>& boxes,
                    std::ostream& console = std::cout, const CourseReadOptions& options = {});

    // The next word of the stream, the read position left where it was; empty when the input
    // has none. Only a seekable stream can put the position back.
    std::string peekWord();
    // Reads and discards the next word of the stream.
    void skipWord();

private:
    CourseReader() = default;

    const std::string startMarker{startWord};
    const std::string endMarker{endWord};
};
