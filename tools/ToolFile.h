#pragma once

#include <functional>
#include <ostream>
#include <string>

// Writing a whole output file of the course tools (a course, a model, a plot, a dump). A file
// that cannot be written is one line on standard error naming it:
//   FILE: cannot open for writing (REASON)
//   FILE: writing failed
// The second gives no reason: the stream's failure may lie many writes back, and errno tells
// only of the last call, whatever that was.

// `write` puts the contents on the stream, which is the file opened afresh (binary, truncated).
// Returns whether the whole file was written; a file that failed may be left short.
bool writeOutputFile(const std::string& fileName, const std::function<void(std::ostream&)>& write);
bool writeOutputFile(const std::string& fileName, const std::string& text);
