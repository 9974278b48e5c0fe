// LiveRecord: the live values of the Auto Update feed written to a CSV file, one row per
// live-status reply, for a spreadsheet or a plotting tool. The console's Record button and
// `torvane-cli record` both write through it, so the two files are alike.
//
// The file: comment lines starting with '#' (what, model, port, local start time, period),
// then the header row kLiveRecordHeaderRow, then one row a reply:
//   time_s       seconds since the first row, from the monotonic clock, to the millisecond;
//   the values   as the Live Preview shows them (LiveStatusTextsOf, the output-axis texts);
//   motor_state  the drive's number (0, 1, 2); fault_word the status fault word in decimal.
// Numbers use the dot whatever the locale.
//
// Rows are written whole, each with one write to an unbuffered file: a crash of the program
// loses no row it reported as written and never leaves a torn row. A read that failed writes
// no row and is counted.
//
// Threads: one object for one thread (the UI thread in the console). Blocking: small file
// writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "protocol/drive_state.h"
#include "session/console_state.h"

namespace torvane {

extern const char* const kLiveRecordHeaderRow;

// What the comment lines say.
struct LiveRecordInfo {
    std::string Model;
    std::string Port;
    std::time_t Started = 0;  // local time of the start
    int PeriodMs = 50;
};
// The comment lines and the header row, each ending in "\n".
std::string LiveRecordPreamble(const LiveRecordInfo& info);
// Local time in ISO 8601 with the offset from UTC: "2026-12-09T15:30:00+01:00".
std::string LocalIsoTime(std::time_t t);
// The name the console proposes: "Live20261209-153000.csv" (local time).
std::string LiveRecordFileName(std::time_t t);
// One row for a reply, `elapsed` after the first: the live values of `state` and the output-axis
// figures of `console` (TakeOutputAxis done for this reply). Ends in "\n".
std::string LiveRecordRow(std::chrono::milliseconds elapsed, const DriveState& state,
                          const ConsoleState& console);

class LiveRecorder {
public:
    using Clock = std::chrono::steady_clock;

    LiveRecorder() = default;
    ~LiveRecorder();  // closes
    LiveRecorder(const LiveRecorder&) = delete;
    LiveRecorder& operator=(const LiveRecorder&) = delete;

    // Creates (or empties) `path` and writes the preamble. False with a message naming the
    // file and the system's reason when it cannot.
    bool Open(const std::string& path, const LiveRecordInfo& info, std::string* error);
    bool IsOpen() const { return file_ != nullptr; }
    // Writes the row of a reply received at `at`. False (and the file closed) when the row
    // could not be written; Error() tells why.
    bool Sample(const DriveState& state, const ConsoleState& console, Clock::time_point at);
    bool Sample(const DriveState& state, const ConsoleState& console) {
        return Sample(state, console, Clock::now());
    }
    // A read that got no usable reply.
    void FailedRead() { ++failed_; }
    // Closes the file. False when closing reported an error (Error() tells why).
    bool Close();

    uint64_t Samples() const { return samples_; }
    uint64_t FailedReads() const { return failed_; }
    const std::string& Path() const { return path_; }
    const std::string& Error() const { return error_; }

private:
    bool WriteWhole(const std::string& text);
    void Fail(const char* what, int err);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string error_;
    uint64_t samples_ = 0;
    uint64_t failed_ = 0;
    bool started_ = false;
    Clock::time_point first_{};
};

}  // namespace torvane
