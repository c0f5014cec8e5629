// The committed assets are exactly what the generators write now (so nobody edits them by hand),
// the texture is a TGA the program can read, and the generators report bad arguments.
#include "CourseModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const fs::path assetsDir = ASSETS_DIR;
const std::string makeCourse = MAKE_COURSE;
const std::string makeBallTexture = MAKE_BALL_TEXTURE;

// The texture's layout: gluSphere's s around the ball, t from pole to pole.
constexpr int textureWidth = 256;
constexpr int textureHeight = 128;
constexpr std::size_t tgaHeaderSize = 18;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// Runs a shell command line and returns its exit status (-1 when it did not exit normally).
int run(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class GeneratedAssetsTest : public ::testing::Test {
protected:
    fs::path scratch;

    void SetUp() override {
        scratch = fs::temp_directory_path() /
                  ("minigolf-assets-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch);
    }
    void TearDown() override { fs::remove_all(scratch); }

    // What a generator writes into the scratch folder; fails the test if it does not succeed.
    std::string generate(const std::string& tool, const std::string& fileName) {
        const fs::path output = scratch / fileName;
        EXPECT_EQ(run(quoted(tool) + " " + quoted(output.string())), 0) << tool;
        return readFile(output);
    }
};

TEST_F(GeneratedAssetsTest, CommittedCourseIsWhatMakeCourseWritesNow) {
    const std::string generated = generate(makeCourse, "clobox.txt");
    EXPECT_EQ(generated, courseFileText(buildCourseModel()));
    EXPECT_TRUE(generated == readFile(assetsDir / "clobox.txt"))
        << "assets/clobox.txt differs from make-course's output: regenerate it";

    // Without an argument the same text goes to standard output.
    const fs::path piped = scratch / "stdout.txt";
    ASSERT_EQ(run(quoted(makeCourse) + " > " + quoted(piped.string())), 0);
    EXPECT_EQ(readFile(piped), generated);
}

TEST_F(GeneratedAssetsTest, CommittedTextureIsWhatMakeBallTextureWritesNow) {
    const std::string generated = generate(makeBallTexture, "ball.tga");
    EXPECT_FALSE(generated.empty());
    EXPECT_TRUE(generated == readFile(assetsDir / "ball.tga"))
        << "assets/ball.tga differs from make-ball-texture's output: regenerate it";
}

// The header the program's reader relies on, and pixels that make a white, dimpled ball with a
// red line: in the file's blue, green, red, alpha order.
TEST_F(GeneratedAssetsTest, TextureIsAnOpaqueWhiteBallWithDimplesAndARedLine) {
    const std::string file = generate(makeBallTexture, "ball.tga");
    ASSERT_EQ(file.size(), tgaHeaderSize + 4u * textureWidth * textureHeight);
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(file[i]); };
    EXPECT_EQ(byte(0), 0) << "no image ID";
    EXPECT_EQ(byte(1), 0) << "no colour map";
    EXPECT_EQ(byte(2), 2) << "uncompressed true-colour";
    EXPECT_EQ(byte(12) | byte(13) << 8, textureWidth);
    EXPECT_EQ(byte(14) | byte(15) << 8, textureHeight);
    EXPECT_EQ(byte(16), 32);
    EXPECT_EQ(byte(17) & 0x0f, 8) << "alpha bits";
    EXPECT_EQ(byte(17) & 0x30, 0) << "origin bits: first row at the bottom, left to right";

    int white = 0, shaded = 0, red = 0;
    for (int row = 0; row < textureHeight; ++row) {
        for (int column = 0; column < textureWidth; ++column) {
            const std::size_t at = tgaHeaderSize + 4u * (row * textureWidth + column);
            const int blue = byte(at), green = byte(at + 1), redChannel = byte(at + 2);
            ASSERT_EQ(byte(at + 3), 255) << "row " << row << " column " << column;
            const bool grey = std::abs(redChannel - blue) < 16 && std::abs(green - blue) < 16;
            white += grey && blue >= 235 ? 1 : 0;
            shaded += grey && blue < 225 ? 1 : 0;
            const bool isRed = redChannel > 150 && green < 60 && blue < 60;
            red += isRed ? 1 : 0;
            // The line runs round the equator and nowhere else.
            if (isRed) {
                EXPECT_LT(std::abs(2 * row + 1 - textureHeight), textureHeight / 8) << row;
            }
        }
    }
    const int pixels = textureWidth * textureHeight;
    EXPECT_GT(white, pixels / 2);
    EXPECT_GT(shaded, pixels / 10);
    EXPECT_GE(red, 2 * textureWidth) << "a line at least two rows wide all round";
}

TEST_F(GeneratedAssetsTest, GeneratorsReportBadArguments) {
    const fs::path unwritable = scratch / "missing-folder" / "out";
    const fs::path messages = scratch / "stderr.txt";
    const std::string toMessages = " 2> " + quoted(messages.string());
    for (const std::string& tool : {makeCourse, makeBallTexture}) {
        EXPECT_EQ(run(quoted(tool) + " " + quoted(unwritable.string()) + toMessages), 1) << tool;
        EXPECT_NE(readFile(messages).find(unwritable.string()), std::string::npos)
            << tool << " should name the file it cannot write";
        EXPECT_FALSE(fs::exists(unwritable));

        EXPECT_EQ(run(quoted(tool) + " one two" + toMessages), 2) << tool;
        EXPECT_NE(readFile(messages).find("two"), std::string::npos) << tool;
    }
    EXPECT_EQ(run(quoted(makeBallTexture) + toMessages), 2) << "a binary file needs a name";
}

// Options are never taken for file names: both generators once wrote a file named "--help".
TEST_F(GeneratedAssetsTest, GeneratorsAnswerHelpAndRefuseUnknownOptions) {
    const fs::path work = scratch / "work";
    fs::create_directories(work);
    const std::string inWork = "cd " + quoted(work.string()) + " && ";
    const fs::path out = scratch / "stdout.txt";
    const fs::path err = scratch / "stderr.txt";
    const std::string captured = " > " + quoted(out.string()) + " 2> " + quoted(err.string());
    for (const std::string& tool : {makeCourse, makeBallTexture}) {
        for (const char* help : {"--help", "-h"}) {
            EXPECT_EQ(run(inWork + quoted(tool) + " " + help + captured), 0) << tool << help;
            EXPECT_NE(readFile(out).find("Usage: "), std::string::npos) << tool << help;
            EXPECT_EQ(readFile(err), "") << tool << help;
        }
        EXPECT_EQ(run(inWork + quoted(tool) + " --bogus out" + captured), 2) << tool;
        EXPECT_EQ(readFile(out), "") << tool;
        EXPECT_NE(readFile(err).find("--bogus"), std::string::npos) << tool;
        EXPECT_NE(readFile(err).find(" --help)"), std::string::npos) << tool;
        EXPECT_TRUE(fs::is_empty(work)) << tool << " wrote a file for an option";
    }
    // After "--", a name that starts with "-" is a file name.
    EXPECT_EQ(run(inWork + quoted(makeCourse) + " -- -course.txt" + captured), 0);
    EXPECT_EQ(readFile(work / "-course.txt"), courseFileText(buildCourseModel()));
}

} // namespace
