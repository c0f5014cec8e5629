#pragma once

// The course file as the peers of the contact search read it: the words parsed with strtof, the
// markers and colours skipped, the coordinates times 0.2 as the program reads them. Every nine
// numbers make one triangle, handed to `addTriangle(const float (&vertices)[9])` in file order.

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

inline std::string readWholeFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// False when the file is missing or empty.
template <class AddTriangle>
bool forEachPeerTriangle(const std::string& fileName, AddTriangle addTriangle) {
    const std::string text = readWholeFile(fileName);
    if (text.empty()) {
        return false;
    }
    float numbers[9];
    int numberCount = 0;
    const char* cursor = text.c_str();
    int coloursLeft = 0;
    while (*cursor != '\0') {
        while (*cursor == ' ' || *cursor == '\n' || *cursor == '\t' || *cursor == '\r') {
            ++cursor;
        }
        if (*cursor == '\0') {
            break;
        }
        if (*cursor == 's' || *cursor == 'e') { // "start" (a colour follows) or "end"
            coloursLeft = *cursor == 's' ? 4 : 0;
            while (*cursor != '\0' && *cursor != ' ' && *cursor != '\n') {
                ++cursor;
            }
            continue;
        }
        char* end = nullptr;
        const float value = std::strtof(cursor, &end);
        cursor = end;
        if (coloursLeft > 0) {
            --coloursLeft;
            continue;
        }
        numbers[numberCount++] = value * 0.2f;
        if (numberCount == 9) {
            addTriangle(numbers);
            numberCount = 0;
        }
    }
    return true;
}
