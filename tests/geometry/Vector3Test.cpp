#include "geometry/Vector3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>

// The values below are chosen so that a different summation order, float instead of double
// intermediates, or a second rounding changes the float result; a plain restatement of each
// operator would pass with any of those faults.

namespace {

constexpr float quietNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

std::string printed(const Vector3& v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

} // namespace

TEST(Vector3, DotSumsZAndYFirstInDouble) {
    // Products 1, 2^60 and -2^60: (z + y) + x keeps the 1, while adding x first loses it below
    // the 2^8 spacing of doubles near 2^60.
    const float big = std::ldexp(1.0f, 30);
    EXPECT_EQ(Vector3(1.0f, big, big).dot(Vector3(1.0f, big, -big)), 1.0f);

    // x * x = 1 + 2^-11 + 2^-24 is exact in double; a float product would round the 2^-24 away
    // (a tie, to even) before the -1 from z cancels the leading 1.
    const float nearOne = 1.0f + std::ldexp(1.0f, -12);
    EXPECT_EQ(Vector3(nearOne, 0.0f, 1.0f).dot(Vector3(nearOne, 0.0f, -1.0f)),
              std::ldexp(1.0f, -11) + std::ldexp(1.0f, -24));
}

TEST(Vector3, CrossIsRightHandedAndCancelsInDouble) {
    const Vector3 x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f), z(0.0f, 0.0f, 1.0f);
    EXPECT_EQ(x.cross(y), z);
    EXPECT_EQ(y.cross(x), -z);
    EXPECT_EQ(y.cross(z), x);
    EXPECT_EQ(z.cross(x), y);

    // x component (1 + 2^-12)^2 - (1 + 2^-11) = 2^-24: exact with double products, 0 with float
    // products (the square rounds to 1 + 2^-11).
    const float a = 1.0f + std::ldexp(1.0f, -12);
    const float b = 1.0f + std::ldexp(1.0f, -11);
    EXPECT_EQ(Vector3(0.0f, a, 1.0f).cross(Vector3(0.0f, b, a)),
              Vector3(std::ldexp(1.0f, -24), 0.0f, 0.0f));
}

TEST(Vector3, LengthAndNormalizeSquareInDouble) {
    // The squares of these components overflow (9 * 2^128) or underflow (2^-160) in float.
    const float huge = std::ldexp(1.0f, 64);
    const float tiny = std::ldexp(1.0f, -80);
    EXPECT_EQ(Vector3(3.0f * huge, 4.0f * huge, 0.0f).length(), 5.0f * huge);
    EXPECT_EQ(Vector3(3.0f * tiny, 0.0f, 4.0f * tiny).length(), 5.0f * tiny);

    Vector3 small(3.0f * tiny, 0.0f, 4.0f * tiny);
    EXPECT_EQ(&small.normalize(), &small);
    EXPECT_EQ(small, Vector3(0.6f, 0.0f, 0.8f));
    EXPECT_EQ(Vector3(3.0f, 0.0f, 4.0f).normalize(), Vector3(0.6f, 0.0f, 0.8f));
}

TEST(Vector3, NormalizeKeepsTheReciprocalInDoubleWhereDivisionRoundsIt) {
    // Find a vector for which multiplying by 1 / length in double and by the same reciprocal
    // rounded to float give different floats; the search makes sure the case discriminates.
    auto withReciprocal = [](const Vector3& v, double r) {
        return Vector3(float(v.x * r), float(v.y * r), float(v.z * r));
    };
    bool found = false;
    for (int i = 1; i <= 64 && !found; ++i) {
        for (int j = 1; j <= 64 && !found; ++j) {
            const Vector3 v(float(i), float(j), 0.0f);
            const double reciprocal = 1.0 / double(v.length());
            const Vector3 unrounded = withReciprocal(v, reciprocal);
            const Vector3 rounded = withReciprocal(v, double(float(reciprocal)));
            if (unrounded == rounded) {
                continue;
            }
            found = true;
            Vector3 normalized = v;
            normalized.normalize();
            EXPECT_EQ(normalized, unrounded) << "v = " << v;
            EXPECT_EQ(v / v.length(), rounded) << "v = " << v;
        }
    }
    ASSERT_TRUE(found) << "no vector separates the two roundings of the reciprocal";
}

TEST(Vector3, ZeroLengthAndZeroDivisorGiveNaNAndInfinities) {
    Vector3 zero;
    zero.normalize();
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
    EXPECT_FALSE(zero.isFinite());

    // The reciprocal of +-0 is +-infinity; 0 times infinity is NaN.
    const Vector3 byZero = Vector3(1.0f, -1.0f, 0.0f) / 0.0f;
    EXPECT_EQ(byZero.x, infinity);
    EXPECT_EQ(byZero.y, -infinity);
    EXPECT_TRUE(std::isnan(byZero.z));
    const Vector3 byNegativeZero = Vector3(1.0f, -1.0f, 0.0f) / -0.0f;
    EXPECT_EQ(byNegativeZero.x, -infinity);
    EXPECT_EQ(byNegativeZero.y, infinity);
    EXPECT_TRUE(std::isnan(byNegativeZero.z));
}

TEST(Vector3, TransformPointReadsColumnMajorAndIgnoresTheFourthRow) {
    // (x, y, z) -> (z - 3, x - 1, y - 2); element (row r, column c) at 4c + r. The fourth row is
    // filled with values that would show up if it were used or divided by.
    const float m[16] = {0, 1, 0, 2, 0, 0, 1, 3, 1, 0, 0, 4, -3, -1, -2, 5};
    EXPECT_EQ(Vector3(10.0f, 20.0f, 30.0f).transformPoint(m), Vector3(27.0f, 9.0f, 18.0f));

    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const Vector3 p(-1.25f, 7.5f, 1e-30f);
    EXPECT_EQ(p.transformPoint(identity), p);
}

TEST(Vector3, TransformPointRoundsTheRotatedPointBeforeTheTranslation) {
    const float tie = std::ldexp(1.0f, -24); // half the float spacing just above 1

    // Row 0: 1 + 2^-24 rounds (to even) to 1, and 1 + 2^-24 again to 1; a single rounding of
    // 1 + 2^-24 + 2^-24 would give 1 + 2^-23.
    const float rounding[16] = {1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, tie, 0, 0, 1};
    EXPECT_EQ(Vector3(1.0f, tie, 0.0f).transformPoint(rounding).x, 1.0f);

    // Row 1: products 1, 2^60, -2^60 summed as (x + y) + z lose the 1; any other order keeps it.
    const float big = std::ldexp(1.0f, 30);
    const float order[16] = {0, 1, 0, 0, 0, big, 0, 0, 0, big, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(Vector3(1.0f, big, -big).transformPoint(order).y, 0.0f);
}

TEST(Vector3, EqualityIsExactWithNaNUnequalAndSignedZerosEqual) {
    EXPECT_TRUE(Vector3(1, 2, 3) == Vector3(1, 2, 3));
    EXPECT_FALSE(Vector3(1, 2, 3) != Vector3(1, 2, 3));
    // Each component takes part, with no tolerance.
    EXPECT_NE(Vector3(1, 2, 3), Vector3(1, 2, 3.001f));
    EXPECT_NE(Vector3(1, 2, 3), Vector3(1, 2.001f, 3));
    EXPECT_NE(Vector3(1, 2, 3), Vector3(1.001f, 2, 3));
    EXPECT_NE(Vector3(1, 2, 3), Vector3(1, 2, std::nextafter(3.0f, 4.0f)));

    for (int i = 0; i < 3; ++i) {
        Vector3 withNaN(1, 2, 3);
        withNaN[i] = quietNaN;
        EXPECT_FALSE(withNaN == withNaN) << "NaN in component " << i;
        EXPECT_TRUE(withNaN != withNaN) << "NaN in component " << i;
    }

    EXPECT_TRUE(Vector3(0, 0, 0) == Vector3(-0.0f, 0, 0));
    EXPECT_TRUE(Vector3(0, 0, 0) == Vector3(-0.0f, -0.0f, -0.0f));
    EXPECT_FALSE(Vector3(0, 0, 0) != Vector3(-0.0f, -0.0f, -0.0f));
}

TEST(Vector3, UnaryMinusGivesNegativeZero) {
    const Vector3 negated = -Vector3(0.0f, 1.0f, 0.0f);
    EXPECT_TRUE(std::signbit(negated.x));
    EXPECT_EQ(negated.y, -1.0f);
    EXPECT_TRUE(std::signbit(negated.z));
    EXPECT_EQ(printed(negated), "-0, -1, -0");
}

TEST(Vector3, StreamOutputUsesTheStreamsFloatFormatting) {
    EXPECT_EQ(printed(Vector3(2, 0, 3)), "2, 0, 3");
    EXPECT_EQ(printed(Vector3(1.5f, 0, -2)), "1.5, 0, -2");
    EXPECT_EQ(printed(Vector3()), "0, 0, 0");
    // Default general notation, six significant digits.
    EXPECT_EQ(printed(Vector3(1.0f / 3.0f, 1234567.0f, 1e-7f)), "0.333333, 1.23457e+06, 1e-07");

    std::ostringstream out;
    out << std::fixed << std::setprecision(2) << Vector3(1.5f, 0, -2);
    EXPECT_EQ(out.str(), "1.50, 0.00, -2.00");
}
