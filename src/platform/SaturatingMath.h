#pragma once
// Sums and differences of time stamps and durations read from media files. Those fields are
// untrusted: a damaged or hostile file can put any 64-bit value there, and an overflowing
// signed sum is undefined behaviour. These clamp to the int64_t range instead.
// Pure functions; any thread.

#include <cstdint>
#include <limits>

inline int64_t SaturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

inline int64_t SaturatingSubtract(int64_t a, int64_t b) {
    int64_t difference = 0;
    if (!__builtin_sub_overflow(a, b, &difference)) return difference;
    return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}
