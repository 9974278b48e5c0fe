// Reading and writing .dat parameter files whole.
//
// A read accepts only a file of exactly 96 bytes; anything else is refused with a message that
// names the file and its size, and the caller's image stays as it was. A write goes to a
// temporary file beside the target, is flushed to the disk and then renamed over the target, so
// an interrupted or failed save never leaves a truncated file (the old file, if any, stays).
// Failures carry a message that names the file and gives the system's reason.
//
// Blocking file I/O on the calling thread (a few small system calls); any thread.
#pragma once

#include <string>

#include "params/parameter_image.h"
#include "protocol/drive_state.h"

namespace torvane {

struct FileResult {
    bool Ok = false;
    std::string Message;  // what to show when !Ok
};

FileResult ReadParameterFile(const std::string& path, ParameterImage& image);
FileResult WriteParameterFile(const std::string& path, const ParameterImage& image);

// Read and decode into the ParameterSet and CountsPerRev; on failure nothing changes.
FileResult LoadParameterFile(const std::string& path, DriveState& state);
// Encode the ParameterSet and CountsPerRev and write them.
FileResult SaveParameterFile(const std::string& path, const DriveState& state);

}  // namespace torvane
