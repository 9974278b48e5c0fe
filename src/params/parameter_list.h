// The parameter list page's rows: the whole ParameterSet as 37 lines of text (captions, labelled
// values, empty separator rows). The page shows each row's Text(); `params show FILE` prints the
// same. Pure; any thread.
#pragma once

#include <string>
#include <vector>

#include "protocol/drive_state.h"

namespace torvane {

constexpr size_t kListRowCount = 37;

struct ListRow {
    std::string Label;  // ends in the full-width colon for a value row; a caption or empty else
    std::string Value;  // "%d" or "%g"; empty for captions and separators
    std::string Unit;   // the field's unit where it has one (not shown by the list page)
    // The row as the list shows it: the label followed directly by the value.
    std::string Text() const { return Label + Value; }
};

std::vector<ListRow> ParameterListRows(const ParameterSet& set);

}  // namespace torvane
