// DriveError: the one-byte result of every transaction.
#pragma once

#include <cstdint>

namespace torvane {

using DriveError = uint8_t;

constexpr DriveError kSuccess = 0;
constexpr DriveError kDeviceNoResponse = 0xF0;

// The drive's result nibble N (1..15) as a DriveError: 0xF0 | N.
constexpr DriveError DriveErrorFromNibble(uint8_t nibble) {
    return static_cast<DriveError>(0xF0 | (nibble & 0x0F));
}

// Message text of an error code 0xF0..0xFF; nullptr for any other code (nothing to show).
const char* DriveErrorText(DriveError code);

}  // namespace torvane
