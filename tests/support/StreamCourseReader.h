#pragma once

// The course reader as it was before it read in chunks, kept as the reference the reader is held
// to by its tests and its fuzz target: formatted extraction from a stream in the classic locale,
// looking ahead at a word by putting the read position back.

#include <locale>
#include <sstream>
#include <string>
#include <vector>

// The reader as it was before it read in chunks: formatted extraction from a stream, looking
// ahead at a word by putting the read position back. What it accepted and built is what the
// reader must still accept and build, to the bit.
struct ReferenceLoad {
    bool ok = false;
    std::vector<float> numbers; // colours as read, coordinates in course units, in file order
    std::vector<int> trianglesPerBox;
};

inline ReferenceLoad referenceLoad(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    const auto peekWord = [&in] {
        const std::streampos position = in.tellg();
        std::string word;
        in >> word;
        if (!in.fail()) {
            in.seekg(position);
        }
        return word;
    };
    ReferenceLoad load;
    for (std::string word = peekWord(); word != "end"; word = peekWord()) {
        if (word != "start") {
            return load;
        }
        in >> word;
        load.trianglesPerBox.push_back(0);
        // A box keeps the colour (0, 0, 0, 0) of a new box when its colour cannot be read.
        float colour[4] = {};
        const bool colourRead = !(in >> colour[0] >> colour[1] >> colour[2] >> colour[3]).fail();
        if (!colourRead) {
            load.numbers.insert(load.numbers.end(), 4, 0.0f);
            return load;
        }
        load.numbers.insert(load.numbers.end(), colour, colour + 4);
        for (word = peekWord(); word != "start" && word != "end"; word = peekWord()) {
            float c[9];
            for (float& coordinate : c) {
                if (word.empty() || !(in >> coordinate)) {
                    return load;
                }
                coordinate = coordinate * 0.2f;
            }
            load.numbers.insert(load.numbers.end(), c, c + 9);
            ++load.trianglesPerBox.back();
        }
    }
    load.ok = true;
    return load;
}
