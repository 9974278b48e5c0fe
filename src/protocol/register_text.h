// Decoded register blocks as named, printable fields: what the command-line tool prints after a
// read. Pure; any thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "protocol/drive_state.h"
#include "protocol/frame.h"
#include "protocol/number_text.h"

namespace torvane {

struct NamedField {
    std::string Name;
    std::string Value;
};

// The fields of block `address` as stored in `state`/`motion`, limited to those that lie wholly
// within the first `count` data bytes. Empty for an address that is not a data block.
std::vector<NamedField> DescribeRegister(RegisterAddress address, size_t count,
                                         const DriveState& state, const MotionFields& motion);

}  // namespace torvane
