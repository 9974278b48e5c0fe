// What a write of the parameter set that stopped on an error tells the user: where it stopped
// (the block and its register), and when some blocks had been written already, which were and
// which were not, that the drive now holds values that are not stored, and the backup that
// brings the previous set back. The console and the command line show the same text.
// Pure; any thread.
#pragma once

#include <string>
#include <vector>

#include "protocol/drive_error.h"
#include "protocol/frame.h"

namespace torvane {

// A block of the parameter writes by its name and register: "Application Parameters (0x1100)".
std::string BlockName(RegisterAddress address);

struct WriteStop {
    RegisterAddress At = 0;
    DriveError Error = kSuccess;
    std::vector<RegisterAddress> Written;     // blocks written before the stop, in order
    std::vector<RegisterAddress> NotWritten;  // the failed block and those after it
    std::string Backup;                       // the backup made before the write; "" none
};
// "Application Parameters (0x1100): Error Command value", then (blocks written before) the
// lines "Written: ...", "Not written: ...", what the drive now holds and the backup's path.
std::string WriteStopText(const WriteStop& stop);

}  // namespace torvane
