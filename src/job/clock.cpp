#include "job/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace kelvarin {

std::int64_t Clock::secondsStamp() const {
    const LocalDateTime t = now();
    const std::int64_t ms = ((t.hour * 60 + t.minute) * 60 + t.second) * 1000LL + t.millisecond;
    return (ms + 500) / 1000;
}

std::string Clock::tiffDateTime() const {
    const LocalDateTime t = now();
    char text[32];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", t.year % 10000, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

LocalDateTime SystemClock::now() const {
    const auto stamp = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(stamp);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(stamp.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
            static_cast<int>(ms)};
}

}  // namespace kelvarin
