#include "FloatScanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <locale>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// `stream >> float` in the classic locale, the reference: success, the value it stored, and the
// characters it took (its skipped white space included).
struct Read {
    bool ok = false;
    std::uint32_t bits = 0;
    std::size_t length = 0;
    bool stored = true; // false when the stream met the end before any character to take
};

Read streamRead(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    float value = 0.0f;
    in >> value;
    const std::size_t left = static_cast<std::size_t>(in.rdbuf()->in_avail());
    return {!in.fail(), bitsOf(value), text.size() - left,
            text.find_first_not_of(" ") != std::string::npos};
}

Read scannerRead(const std::string& text) {
    const std::size_t blanks = std::min(text.find_first_not_of(" "), text.size());
    const FloatScanner::Result result = FloatScanner::scan(std::string_view(text).substr(blanks));
    return {result.ok, bitsOf(result.value), blanks + result.length, blanks < text.size()};
}

// Words a course may hold, typed or machine-written, with their mistakes: short strings over
// the characters a number is made of (and some that end one); long digit strings that need the
// full conversion; values near the ends of the float range; exponents a digit count away from
// them.
std::vector<std::string> generatedTexts() {
    std::mt19937_64 random(20240611);
    const auto below = [&random](std::uint64_t n) { return random() % n; };
    const auto digits = [&](std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            text += static_cast<char>('0' + below(10));
        }
        return text;
    };
    std::vector<std::string> texts = {"3.4028235e38",
                                      "3.40282357e38",
                                      "-3.4028236e38",
                                      "340282356779733661637539395458142568448",
                                      "1e-45",
                                      "7e-46",
                                      "7.0064923216240854e-46",
                                      "1.1754942e-38",
                                      "-0",
                                      "-0e99999",
                                      "1e99999999999999999999",
                                      "16777217",
                                      "1.5.3",
                                      "5 -1O",
                                      "0x1A",
                                      "1e5e3",
                                      "+.5",
                                      "-.5e-3",
                                      ".",
                                      "-",
                                      "+",
                                      "e5",
                                      "1,5",
                                      "1e",
                                      "1e+",
                                      "1e+x",
                                      "00012"};
    const std::string alphabet = "0123456789.eE+-x ";
    for (int i = 0; i < 100000; ++i) {
        std::string text;
        for (std::uint64_t n = below(13); n > 0; --n) {
            text += alphabet[below(alphabet.size())];
        }
        texts.push_back(text);
    }
    for (int i = 0; i < 30000; ++i) {
        std::string text = digits(1 + below(i % 2 == 0 ? 19 : 60));
        if (below(2) == 0) {
            text.insert(text.begin() + static_cast<std::ptrdiff_t>(below(text.size() + 1)), '.');
        }
        const bool nearRangeEnds = i % 3 == 0;
        const long exponent =
            nearRangeEnds ? static_cast<long>(below(40)) + 20 : static_cast<long>(below(50));
        text += below(2) == 0 ? 'e' : 'E';
        text += below(2) == 0 ? '-' : '+';
        text += std::to_string(exponent);
        if (below(4) == 0) {
            text.insert(text.begin(), '-');
        }
        texts.push_back(text);
    }
    return texts;
}

} // namespace

TEST(FloatScanner, TakesTheCharactersAndGivesTheBitsThatStreamExtractionDoes) {
    int mismatches = 0;
    for (const std::string& text : generatedTexts()) {
        const Read expected = streamRead(text);
        const Read scanned = scannerRead(text);
        const bool same = expected.ok == scanned.ok && expected.length == scanned.length &&
                          (!expected.stored || expected.bits == scanned.bits);
        if (!same && ++mismatches <= 10) {
            ADD_FAILURE() << "\"" << text << "\": stream ok " << expected.ok << ", took "
                          << expected.length << ", bits " << std::hex << expected.bits
                          << "; scanner ok " << scanned.ok << ", took " << std::dec
                          << scanned.length << ", bits " << std::hex << scanned.bits;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FloatScanner, TellsAValueBeyondAFloatFromOtherFailures) {
    EXPECT_TRUE(FloatScanner::scan("1e39").overflow);
    EXPECT_TRUE(FloatScanner::scan("-1e39").overflow);
    EXPECT_FALSE(FloatScanner::scan("1e").overflow);
    const FloatScanner::Result tiny = FloatScanner::scan("1e-50");
    EXPECT_TRUE(tiny.ok && !tiny.overflow && tiny.value == 0.0f);
}
