#include "protocol/drive_error.h"

namespace torvane {

const char* DriveErrorText(DriveError code) {
    static const char* const kTexts[16] = {
        "Device no response",
        "Error CRC check",
        "Error Function code ",
        "Error Parameter address",
        "Error Command",
        "Error Command value",
        "Unable to process command",
        "Motor does not match",
        "Parameters are read-only",
        "Motor not enabled",
        "Parameters of the overflow",
        "Unknown Error",
        "Unknown Error",
        "Unknown Error",
        "Unknown Error",
        "Unknown Error",
    };
    if (code < 0xF0) return nullptr;
    return kTexts[code & 0x0F];
}

}  // namespace torvane
