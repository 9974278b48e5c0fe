// EntryProgressBox: a ProgressBox whose one line is an entry of a window, so that a progress
// timer can write into a plain entry as it writes into a box (the calibration timer into the
// console's Position Correction entry). Only the text is shown; caption, state and close mean
// nothing for an entry. UI thread only.
#pragma once

#include <QString>
#include <functional>

#include "session/progress_box.h"

class EntryProgressBox : public torvane::ProgressBox {
public:
    // `show` puts a text into the entry; it must stay callable as long as the box is used.
    explicit EntryProgressBox(std::function<void(const QString&)> show);

    void SetText(const std::string& text) override;

private:
    std::function<void(const QString&)> show_;
};
