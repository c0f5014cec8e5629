#pragma once

#include <cstdint>

// Whole milliseconds of real (monotonic) time as a signed 32-bit reading. The counter wraps
// after about 24.8 days; differences taken with millisecondsBetween stay right across the wrap.
std::int32_t millisecondClock();

// later - earlier in milliseconds, computed modulo 2^32 so that a wrap of the counter between
// the two readings does not turn the difference negative.
std::int32_t millisecondsBetween(std::int32_t earlier, std::int32_t later);
