#include "platform/CMTime.h"

#include <cmath>
#include <limits>

CMTime CMTimeMake(int64_t value, int32_t timescale) {
    if (timescale <= 0) return kCMTimeInvalid;
    return CMTime{value, timescale, kCMTimeFlags_Valid, 0};
}

CMTime CMTimeMakeWithSeconds(double seconds, int32_t preferredTimescale) {
    if (!std::isfinite(seconds) || preferredTimescale <= 0) return kCMTimeInvalid;
    const long double ticks = std::roundl(static_cast<long double>(seconds) * preferredTimescale);
    if (std::fabs(ticks) > static_cast<long double>(std::numeric_limits<int64_t>::max() / 2))
        return kCMTimeInvalid;
    CMTime time = CMTimeMake(static_cast<int64_t>(ticks), preferredTimescale);
    if (static_cast<long double>(seconds) * preferredTimescale != ticks)
        time.flags |= kCMTimeFlags_HasBeenRounded;
    return time;
}

double CMTimeGetSeconds(CMTime time) {
    if (!time.IsValid()) return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(time.value) / time.timescale;
}
