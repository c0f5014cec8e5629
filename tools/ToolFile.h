#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Writing a whole output file of the tools (a course, a model, a plot, a dump, a texture). A file
// that cannot be written is one line on standard error naming it:
//   FILE: cannot open for writing (REASON)
//   FILE: writing failed
// The second gives no reason: the stream's failure may lie many writes back, and errno tells
// only of the last call, whatever that was.

// `write` puts the contents on the stream, which is the file opened afresh (binary, truncated).
// Returns whether the whole file was written; a file that failed may be left short.
bool writeOutputFile(const std::string& fileName, const std::function<void(std::ostream&)>& write);
bool writeOutputFile(const std::string& fileName, const std::string& text);

// Files that belong together (a model and its materials), each written whole or not at all: every
// text goes to a temporary file in its file's folder, and only when all are complete are they
// renamed onto their names, the last listed first (so a file listed first, which names the
// others, never stands without them). On any failure no name is touched and no temporary file
// is left. A name that is a directory, or an existing file that is not a regular one (a device,
// a pipe), is refused before anything is written; a symbolic link is written through. A new file
// gets the permissions the umask leaves of 0666; a replaced one keeps its own.
struct OutputFile {
    std::string name;
    std::string text;
};
bool writeOutputFilesTogether(const std::vector<OutputFile>& files);
