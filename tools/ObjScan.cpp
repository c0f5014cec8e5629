#include "ObjScan.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

namespace {

// The largest exponent of ten kept: beyond it a decimal is 0 or infinite as a float whatever its
// digits, and tinyobjloader's int exponent would come near overflowing.
constexpr int largestExponent = 1000;
// Index values are read saturated at this, far beyond every index of 32 bits.
constexpr long long saturatedIndex = 1LL << 40;
// Words longer than this are cut in messages.
constexpr std::size_t longestShownWord = 40;

bool isBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

bool isDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

// A word for a message: cut when long, control bytes shown as '?', in double quotes.
std::string shown(std::string_view word) {
    std::string text = "\"";
    for (std::size_t i = 0; i < word.size() && i < longestShownWord; ++i) {
        const unsigned char ch = static_cast<unsigned char>(word[i]);
        text += ch < 0x20 || ch == 0x7f ? '?' : word[i];
    }
    return text + (word.size() > longestShownWord ? "...\"" : "\"");
}

// The double that tinyobjloader makes of a word, computed as it computes it, when the whole word
// is a decimal number ([+-] digits [. digits] [e|E [+-] digits], or with no digit before the
// point); nothing otherwise. An exponent beyond 1000 gives NaN here (tinyobjloader would take
// the word as 0, or overflow its exponent), so that the word is refused as not finite.
std::optional<double> objNumber(std::string_view word) {
    static constexpr std::array<double, 8> tenths = {1.0,    0.1,     0.01,     0.001,
                                                     0.0001, 0.00001, 0.000001, 0.0000001};
    const auto digitAt = [&word](std::size_t i) { return i < word.size() && isDigit(word[i]); };
    std::size_t at = 0;
    const bool negative = at < word.size() && word[at] == '-';
    at += at < word.size() && (word[at] == '-' || word[at] == '+') ? 1 : 0;
    // tinyobjloader's sums, in its order: the integer digits, then each decimal digit times
    // its power of ten.
    double mantissa = 0.0;
    std::size_t digits = 0;
    for (; digitAt(at); ++at, ++digits) {
        mantissa *= 10;
        mantissa += static_cast<int>(word[at] - '0');
    }
    if (at < word.size() && word[at] == '.') {
        ++at;
        for (int read = 1; digitAt(at); ++at, ++read, ++digits) {
            mantissa += static_cast<int>(word[at] - '0') * (read < static_cast<int>(tenths.size())
                                                                ? tenths[std::size_t(read)]
                                                                : std::pow(10.0, -read));
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    int exponent = 0;
    if (at < word.size() && (word[at] == 'e' || word[at] == 'E')) {
        ++at;
        const bool negativeExponent = at < word.size() && word[at] == '-';
        at += at < word.size() && (word[at] == '-' || word[at] == '+') ? 1 : 0;
        if (!digitAt(at)) {
            return std::nullopt;
        }
        bool huge = false;
        for (; digitAt(at); ++at) {
            exponent = exponent * 10 + (word[at] - '0');
            huge = huge || exponent > largestExponent;
            exponent = std::min(exponent, largestExponent + 1);
        }
        if (huge) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        exponent = negativeExponent ? -exponent : exponent;
    }
    if (at != word.size()) {
        return std::nullopt;
    }
    return (negative ? -1 : 1) *
           (exponent ? std::ldexp(mantissa * std::pow(5.0, exponent), exponent) : mantissa);
}

// What is wrong with a word where the import needs a number, which must be a finite float;
// nothing when it is one. `what` names the number ("x coordinate of the vertex").
std::optional<std::string> numberFault(std::string_view word, const std::string& what) {
    const std::optional<double> value = objNumber(word);
    if (!value) {
        return "expected a number as the " + what + ", found " + shown(word);
    }
    if (!(std::fabs(*value) <= FLT_MAX)) {
        return "the " + what + ", " + shown(word) + ", is not a finite float";
    }
    return std::nullopt;
}

// Calls visit(begin, end, number) for each line of the text, [begin, end) its characters
// without the line break, numbered from 1, as tinyobjloader splits them.
template <typename Visit> void forEachLine(const std::string& text, Visit visit) {
    long number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        ++number;
        const std::size_t lineBreak = text.find_first_of("\r\n", at);
        const std::size_t end = lineBreak == std::string::npos ? text.size() : lineBreak;
        visit(at, end, number);
        at = end;
        if (at < text.size()) {
            at += text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
        }
    }
}

// The next word of `line` from `at` on (empty at the end of the line); `at` moves past it.
std::string_view nextWord(std::string_view line, std::size_t& at) {
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    const std::size_t begin = at;
    while (at < line.size() && !isBlank(line[at])) {
        ++at;
    }
    return line.substr(begin, at - begin);
}

// What tinyobjloader does with a line of a model, by its first word, tested in its order.
enum class Statement { nothing, vertex, face, material, materialFile, group, unused };

Statement statementOf(std::string_view s) {
    const auto c = [&s](std::size_t i) { return i < s.size() ? s[i] : '\0'; };
    if (s.empty() || s[0] == '#') {
        return Statement::nothing;
    }
    if (c(0) == 'v' && isBlank(c(1))) {
        return Statement::vertex;
    }
    if (c(0) == 'v' && (c(1) == 'n' || c(1) == 't' || c(1) == 'w') && isBlank(c(2))) {
        return Statement::unused;
    }
    if ((c(0) == 'l' || c(0) == 'p') && isBlank(c(1))) {
        return Statement::unused;
    }
    if (c(0) == 'f' && isBlank(c(1))) {
        return Statement::face;
    }
    if (s.substr(0, 6) == "usemtl") {
        return Statement::material;
    }
    if (s.substr(0, 6) == "mtllib" && isBlank(c(6))) {
        return Statement::materialFile;
    }
    if ((c(0) == 'g' || c(0) == 'o') && isBlank(c(1))) {
        return Statement::group;
    }
    return Statement::unused; // tags, smoothing groups, and what tinyobjloader ignores
}

// A whole number [+-]digits at the start of `word`, saturated beyond every 32-bit value; `at`
// moves past it. False when there is no digit.
bool readIndex(std::string_view word, std::size_t& at, long long& value) {
    const bool negative = at < word.size() && word[at] == '-';
    at += at < word.size() && (word[at] == '-' || word[at] == '+') ? 1 : 0;
    const std::size_t first = at;
    long long magnitude = 0;
    for (; at < word.size() && isDigit(word[at]); ++at) {
        magnitude = std::min(saturatedIndex, magnitude * 10 + (word[at] - '0'));
    }
    value = negative ? -magnitude : magnitude;
    return at > first;
}

// A corner "i", "i/j", "i//k" or "i/j/k": its vertex index i, and where its "/" starts (the
// word's length without one). False for any other word.
bool readCorner(std::string_view word, long long& vertex, std::size_t& slash) {
    std::size_t at = 0;
    long long ignored = 0;
    if (!readIndex(word, at, vertex)) {
        return false;
    }
    slash = at;
    if (at == word.size()) {
        return true;
    }
    if (word[at++] != '/') {
        return false;
    }
    if (at < word.size() && word[at] == '/') { // i//k
        ++at;
        return readIndex(word, at, ignored) && at == word.size();
    }
    if (!readIndex(word, at, ignored)) { // i/j
        return false;
    }
    if (at == word.size()) {
        return true;
    }
    return word[at++] == '/' && readIndex(word, at, ignored) && at == word.size(); // i/j/k
}

// Lines with the facts the scan reports with.
class Scanner {
public:
    Scanner(std::string& text, const std::string& file) : text_(text), file_(file) {}

    ModelScan scan();

private:
    [[noreturn]] void fail(long line, const std::string& message) const {
        throw ObjScanError(file_ + ":" + std::to_string(line) + ": error: " + message);
    }
    void blank(std::size_t begin, std::size_t end) {
        std::fill(text_.begin() + static_cast<std::ptrdiff_t>(begin),
                  text_.begin() + static_cast<std::ptrdiff_t>(end), ' ');
    }
    void vertex(std::size_t begin, std::size_t end, long line);
    void face(std::size_t begin, std::size_t end, long line);
    void materialFile(std::string_view rest, long line);

    std::string& text_;
    const std::string& file_;
    std::size_t verticesInModel_ = 0;
    ModelScan scan_;
};

ModelScan Scanner::scan() {
    // The vertex count first: a face may name a vertex that comes after it.
    forEachLine(text_, [&](std::size_t begin, std::size_t end, long) {
        const std::string_view line(text_.data() + begin, end - begin);
        const std::size_t first = std::min(line.size(), line.find_first_not_of(" \t"));
        verticesInModel_ += statementOf(line.substr(first)) == Statement::vertex ? 1 : 0;
    });
    forEachLine(text_, [&](std::size_t begin, std::size_t end, long line) {
        // tinyobjloader reads a line as a C string: a NUL byte ends it.
        const std::size_t nul = static_cast<std::size_t>(
            std::find(text_.begin() + static_cast<std::ptrdiff_t>(begin),
                      text_.begin() + static_cast<std::ptrdiff_t>(end), '\0') -
            text_.begin());
        if (nul < end) {
            blank(nul, end);
            end = nul;
        }
        const std::string_view whole(text_.data() + begin, end - begin);
        const std::size_t first = begin + std::min(whole.size(), whole.find_first_not_of(" \t"));
        const std::string_view statement(text_.data() + first, end - first);
        switch (statementOf(statement)) {
        case Statement::vertex:
            vertex(first + 1, end, line);
            break;
        case Statement::face:
            face(first + 1, end, line);
            break;
        case Statement::materialFile:
            materialFile(statement.substr(7), line);
            break;
        case Statement::unused:
            blank(begin, end);
            break;
        case Statement::nothing:
        case Statement::material:
        case Statement::group:
            break;
        }
    });
    return std::move(scan_);
}

void Scanner::vertex(std::size_t begin, std::size_t end, long line) {
    static const std::array<const char*, 3> axes = {"x", "y", "z"};
    const std::string_view rest(text_.data() + begin, end - begin);
    std::size_t at = 0;
    for (const char* axis : axes) {
        const std::string_view word = nextWord(rest, at);
        if (word.empty()) {
            fail(line,
                 "expected three coordinates x y z of a vertex, found no " + std::string(axis));
        }
        if (const auto fault = numberFault(word, std::string(axis) + " coordinate of the vertex")) {
            fail(line, *fault);
        }
    }
    blank(begin + at, end); // a w or a colour, not used
    ++scan_.vertices;
}

void Scanner::face(std::size_t begin, std::size_t end, long line) {
    const std::string_view rest(text_.data() + begin, end - begin);
    std::size_t corners = 0;
    for (std::size_t at = 0;;) {
        const std::string_view word = nextWord(rest, at);
        if (word.empty()) {
            break;
        }
        ++corners;
        long long vertex = 0;
        std::size_t slash = 0;
        if (!readCorner(word, vertex, slash)) {
            fail(line, "expected a face corner (a vertex index, as in 7, 7/2, 7//3 or 7/2/3), "
                       "found " +
                           shown(word));
        }
        const std::string index(word.substr(0, slash));
        if (vertex > 0 && static_cast<unsigned long long>(vertex) > verticesInModel_) {
            fail(line, "the face uses vertex " + index + ", but the model has " +
                           std::to_string(verticesInModel_) + " vertices");
        }
        if (vertex < 0 && static_cast<unsigned long long>(-vertex) > scan_.vertices) {
            fail(line, "the face uses vertex " + index + ", but only " +
                           std::to_string(scan_.vertices) + " vertices come before it");
        }
        // Texture and normal indices are not used.
        const std::size_t wordAt = begin + static_cast<std::size_t>(word.data() - rest.data());
        blank(wordAt + slash, wordAt + word.size());
    }
    if (corners >= 3) {
        scan_.faces.line.push_back(line);
        scan_.faces.corners.push_back(corners);
        scan_.faces.cornersAt.push_back(begin);
    } else {
        scan_.faces.tooFewCorners.push_back(line);
    }
}

// tinyobjloader's split of an "mtllib" line: at spaces, a backslash escaping the next character.
void Scanner::materialFile(std::string_view rest, long line) {
    std::string name;
    bool escaping = false;
    const auto add = [&] {
        scan_.materialFileLine.emplace(name, line);
        name.clear();
    };
    for (const char ch : rest) {
        if (escaping) {
            escaping = false;
        } else if (ch == '\\') {
            escaping = true;
            continue;
        } else if (ch == ' ') {
            if (!name.empty()) {
                add();
            }
            continue;
        }
        name += ch;
    }
    add();
}

// One material statement: `count` numbers that are finite floats, as "KEY N..." for
// tinyobjloader.
std::string materialNumbers(std::string_view rest, const char* key,
                            const std::vector<std::string>& names, const std::string& file,
                            long line) {
    std::string kept = key;
    std::size_t at = 0;
    for (const std::string& name : names) {
        const std::string_view word = nextWord(rest, at);
        const std::string where = file + ":" + std::to_string(line) + ": error: ";
        if (word.empty()) {
            throw ObjScanError(where + "expected " + std::to_string(names.size()) +
                               " numbers after " + key + ", found no " + name);
        }
        if (const auto fault = numberFault(word, name)) {
            throw ObjScanError(where + *fault);
        }
        kept += ' ';
        kept += word;
    }
    return kept;
}

bool startsStatement(std::string_view s, std::string_view key) {
    return s.substr(0, key.size()) == key && s.size() > key.size() && isBlank(s[key.size()]);
}

} // namespace

ModelScan scanModel(std::string& text, const std::string& model) {
    return Scanner(text, model).scan();
}

std::string scanMaterials(const std::string& text, const std::string& file) {
    static const std::vector<std::string> diffuse = {"red of the diffuse colour Kd",
                                                     "green of the diffuse colour Kd",
                                                     "blue of the diffuse colour Kd"};
    static const std::vector<std::string> dissolve = {"dissolve d"};
    static const std::vector<std::string> transparency = {"transparency Tr"};
    std::string kept;
    forEachLine(text, [&](std::size_t begin, std::size_t end, long line) {
        std::string_view s(text.data() + begin, end - begin);
        s = s.substr(0, s.find('\0'));
        s = s.substr(0, s.find_last_not_of(" \t") + 1);
        s = s.substr(std::min(s.size(), s.find_first_not_of(" \t")));
        if (startsStatement(s, "newmtl")) {
            kept += s;
        } else if (startsStatement(s, "Kd")) {
            kept += materialNumbers(s.substr(2), "Kd", diffuse, file, line);
        } else if (startsStatement(s, "d")) {
            kept += materialNumbers(s.substr(1), "d", dissolve, file, line);
        } else if (startsStatement(s, "Tr")) {
            kept += materialNumbers(s.substr(2), "Tr", transparency, file, line);
        } else if (startsStatement(s, "map_Kd")) {
            kept += "map_Kd texture"; // only its presence matters
        }
        kept += '\n';
    });
    return kept;
}
