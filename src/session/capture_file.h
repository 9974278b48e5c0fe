// The console's capture file, written by the Waveform Display group's hidden Save Data button:
// "TestData" + the local time "%Y%m%d%H%M" + ".txt" in the working directory, emptied and given
// the one line "111111" ending in CR LF on every platform. It carries no samples.
//
// Thread: any; WriteCaptureFile blocks for the file's write.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace torvane {

// "TestData202612091530.txt" for `now` in local time: a name relative to the working
// directory. Two saves within one minute share the name.
std::string CaptureFileName(std::time_t now);

// Creates (or empties) the file at `path` and writes the line. nullopt once the line is on
// disk; otherwise the message to show, naming the file and the system's reason: a file that
// cannot be created, and a write or a close that fails (a full disk often shows only when the
// file is closed). A file that could not be written whole may be left empty.
std::optional<std::string> WriteCaptureFile(const std::string& path);

}  // namespace torvane
