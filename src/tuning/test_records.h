// The records of a step test's capture. Records follow one another from byte 0 of the capture,
// every field big-endian:
//   current test,  8 bytes: set value (float), actual value (float)
//   speed test,   16 bytes: set value (int32), actual value (int32), period index (uint32),
//                           fourth value (float)
//   position test, 16 bytes: set value (int32), actual value (int32), period index (uint32),
//                           fourth value (int32)
// The number of records is the byte count divided by the record size, rounded down: a partial
// record at the end is ignored. A byte count beyond the capture given counts as its size.
//
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace torvane {

struct CurrentTestRecord {
    float SetValue = 0;
    float ActualValue = 0;
};

struct SpeedTestRecord {
    int32_t SetValue = 0;
    int32_t ActualValue = 0;
    uint32_t PeriodIndex = 0;
    float FourthValue = 0;
};

struct PositionTestRecord {
    int32_t SetValue = 0;
    int32_t ActualValue = 0;
    uint32_t PeriodIndex = 0;
    int32_t FourthValue = 0;
};

std::vector<CurrentTestRecord> DecodeCurrentTestRecords(std::span<const uint8_t> capture,
                                                        size_t byteCount);
std::vector<SpeedTestRecord> DecodeSpeedTestRecords(std::span<const uint8_t> capture,
                                                    size_t byteCount);
std::vector<PositionTestRecord> DecodePositionTestRecords(std::span<const uint8_t> capture,
                                                          size_t byteCount);

}  // namespace torvane
