// The loop page's test data files: the response of the last step test of a loop as
// tab-separated text, one line per record, appended to a file named after the local time.
//
//   current   "CurrentTestData<stamp>.txt"   "%f\t%f"        set value, actual value
//   speed     "VelocityTestData<stamp>.txt"  "%d\t%d\t%d\t%f" set, actual, period index, fourth
//   value position  "PositionTestData<stamp>.txt"  "%d\t%d\t%d\t%d" set, actual, period index,
//   fourth value
//
// <stamp> is the local time formatted "%Y%m%d%H%M" (twelve digits). "%f" is fixed-point with six
// decimals (floats widened to double), "%d" a signed decimal (the unsigned period index is
// printed as the same 32 bits read signed, as the files have always held it). Every line ends
// in CR LF on every platform (the files are read on Windows), numbers always use the dot,
// whatever the locale; no header line. The position test's fourth value is written undivided.
//
// A file that cannot be opened or written is reported with a message naming it (lines written
// before a failing write stay in the file).
//
// Thread: any; the functions that write block for the file's writes.
#pragma once

#include <ctime>
#include <optional>
#include <span>
#include <string>

#include "protocol/drive_state.h"
#include "tuning/loop_test_kind.h"

namespace torvane {

// "CurrentTestData202403051742.txt" etc.: a name relative to the working directory.
std::string TestDataFileName(LoopTest test, const std::tm& localTime);
// The local time of `t` (thread-safe).
std::tm LocalTime(std::time_t t);

// The lines for the records in `byteCount` bytes of `capture` (partial record ignored).
std::string TestDataText(LoopTest test, std::span<const uint8_t> capture, size_t byteCount);

// Appends the lines to `path`, creating the file when it does not exist. nullopt on success;
// otherwise the message to show, naming the file and the system's reason.
std::optional<std::string> AppendTestData(const std::string& path, LoopTest test,
                                          std::span<const uint8_t> capture, size_t byteCount);

struct TestDataSave {
    std::string Path;                  // the file written (or that could not be written)
    std::optional<std::string> Error;  // the message to show; nullopt when saved
};

// A Save button of the loop page: the test's length field and the capture buffer of `state`
// appended to TestDataFileName(test, LocalTime(now)) inside `directory` (empty: the working
// directory). Needs no test to have run: a byte count of 0 creates an empty file, or leaves an
// existing one as it was.
TestDataSave SaveTestData(LoopTest test, const DriveState& state, std::time_t now,
                          const std::string& directory = {});

}  // namespace torvane
