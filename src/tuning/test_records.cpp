#include "tuning/test_records.h"

#include <algorithm>

#include "protocol/frame.h"

namespace torvane {

namespace {

template <class Record, class Decode>
std::vector<Record> DecodeRecords(std::span<const uint8_t> capture, size_t byteCount,
                                  size_t recordSize, Decode decode) {
    const size_t count = std::min(byteCount, capture.size()) / recordSize;
    std::vector<Record> records(count);
    for (size_t k = 0; k < count; ++k) decode(capture.data() + k * recordSize, records[k]);
    return records;
}

}  // namespace

std::vector<CurrentTestRecord> DecodeCurrentTestRecords(std::span<const uint8_t> capture,
                                                        size_t byteCount) {
    return DecodeRecords<CurrentTestRecord>(capture, byteCount, 8,
                                            [](const uint8_t* r, CurrentTestRecord& out) {
                                                out.SetValue = GetFloatBE(r);
                                                out.ActualValue = GetFloatBE(r + 4);
                                            });
}

std::vector<SpeedTestRecord> DecodeSpeedTestRecords(std::span<const uint8_t> capture,
                                                    size_t byteCount) {
    return DecodeRecords<SpeedTestRecord>(capture, byteCount, 16,
                                          [](const uint8_t* r, SpeedTestRecord& out) {
                                              out.SetValue = GetI32BE(r);
                                              out.ActualValue = GetI32BE(r + 4);
                                              out.PeriodIndex = GetU32(r + 8);
                                              out.FourthValue = GetFloatBE(r + 12);
                                          });
}

std::vector<PositionTestRecord> DecodePositionTestRecords(std::span<const uint8_t> capture,
                                                          size_t byteCount) {
    return DecodeRecords<PositionTestRecord>(capture, byteCount, 16,
                                             [](const uint8_t* r, PositionTestRecord& out) {
                                                 out.SetValue = GetI32BE(r);
                                                 out.ActualValue = GetI32BE(r + 4);
                                                 out.PeriodIndex = GetU32(r + 8);
                                                 out.FourthValue = GetI32BE(r + 12);
                                             });
}

}  // namespace torvane
