// Time of day for the log's seconds and the TIFF DateTime text.
#pragma once

#include <cstdint>
#include <string>

namespace kelvarin {

struct LocalDateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;

    // Seconds since local midnight, from the millisecond time rounded to a whole second.
    std::int64_t secondsStamp() const;
    // "YYYY:MM:DD HH:MM:SS", the TIFF DateTime form.
    std::string tiffDateTime() const;
};

class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
};

}  // namespace kelvarin
