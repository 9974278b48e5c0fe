// The difference between the parameter set of a file and what the drive holds, field by field,
// over the fields a download writes. Used before a download (what would change) and after it
// (what the drive did not take). Pure; any thread.
#pragma once

#include <string>
#include <vector>

#include "params/parameter_fields.h"
#include "protocol/drive_state.h"

namespace torvane {

struct FieldDifference {
    FieldId Field;
    std::string Name;        // the field's name
    std::string DriveValue;  // "%d" / "%g"; floats with more digits where "%g" shows both alike
    std::string FileValue;
};

// The fields the download of a file writes, in the order it writes them: the motor group
// without Motor Hall Sequence, the matching group, the application group without Initial
// Position (Motor Direction and Current Flag, which the download's flags byte sets to 0),
// the nine loop gains.
const std::vector<FieldId>& DownloadedFields();

// What the drive holds after the download of `file`, for the downloaded fields: the flags byte
// carries the Motor Direction byte, so Current Flag becomes its bit 1 (0 for any file).
ParameterSet AsDownloaded(const ParameterSet& file);

// Downloaded fields whose drive value differs from what the download writes, in download
// order; empty when the drive already holds the file.
std::vector<FieldDifference> DiffForDownload(const ParameterSet& drive, const ParameterSet& file);

// One line per difference ("Pole Pairs: drive 4, file 5"), or the single line "no change".
std::vector<std::string> DifferenceLines(const std::vector<FieldDifference>& differences);

}  // namespace torvane
