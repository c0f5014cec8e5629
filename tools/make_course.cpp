// make-course [OUTPUT]: writes the bundled course (assets/clobox.txt) to OUTPUT, or to standard
// output without an argument. The course itself is described in CourseModel.
#include "tools/CourseModel.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::cerr << "usage: make-course [OUTPUT]\n";
        return 2;
    }
    const std::string text = courseFileText(buildCourseModel());
    if (argc == 1) {
        std::cout << text << std::flush;
        return std::cout ? 0 : 1;
    }
    std::ofstream out(argv[1], std::ios::binary);
    if (!out) {
        std::cerr << "make-course: cannot open " << argv[1]
                  << " for writing: " << std::strerror(errno) << "\n";
        return 1;
    }
    out << text;
    out.close();
    if (!out) {
        std::cerr << "make-course: writing " << argv[1] << " failed\n";
        return 1;
    }
    return 0;
}
