#pragma once
// Rational media times: a 64-bit value over a 32-bit time scale, with flags and an epoch.
// Plain values; any thread.

#include <cstdint>

enum CMTimeFlags : uint32_t {
    kCMTimeFlags_Valid = 1u << 0,
    kCMTimeFlags_HasBeenRounded = 1u << 1,
    kCMTimeFlags_PositiveInfinity = 1u << 2,
    kCMTimeFlags_NegativeInfinity = 1u << 3,
    kCMTimeFlags_Indefinite = 1u << 4,
};

struct CMTime {
    int64_t value = 0;
    int32_t timescale = 0;
    uint32_t flags = 0;
    int64_t epoch = 0;

    bool IsValid() const { return (flags & kCMTimeFlags_Valid) != 0 && timescale > 0; }
};

inline constexpr CMTime kCMTimeZero{0, 1, kCMTimeFlags_Valid, 0};
inline constexpr CMTime kCMTimeInvalid{};

// value / timescale; an invalid time when timescale is not positive.
CMTime CMTimeMake(int64_t value, int32_t timescale);

// Seconds rounded to the nearest tick of `preferredTimescale`; NaN or infinities give an
// invalid time. Rounding to the nearest tick (not down) keeps accumulated step sums such as
// 0.7999999999999999 on the tick of 0.8.
CMTime CMTimeMakeWithSeconds(double seconds, int32_t preferredTimescale);

// value / timescale in seconds; NaN for an invalid time.
double CMTimeGetSeconds(CMTime time);
