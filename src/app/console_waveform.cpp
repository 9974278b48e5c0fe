// CTorvaneDlg: the Waveform Display group's commands (Parameter, Clear Waveform, Save Data).
#include <ctime>
#include <optional>
#include <string>

#include "app/torvane_dlg.h"
#include "app/waveform_panel.h"
#include "session/capture_file.h"
#include "ui/user_prompts.h"

void CTorvaneDlg::OnParameterChanged(int index) {
    fields_.WaveParameter = index < 0 ? 0 : static_cast<uint8_t>(index);
}

void CTorvaneDlg::SelectWaveParameter(int index) {
    waveform_->SelectParameter(index);
}

void CTorvaneDlg::ClearWaveform() {
    sampleSeries_->ClearPoints();
}

void CTorvaneDlg::SaveData() {
    const std::string name = torvane::CaptureFileName(std::time(nullptr));
    if (const std::optional<std::string> error = torvane::WriteCaptureFile(name)) {
        Prompts().Notice(QString::fromStdString(*error), UserPrompts::Icon::Error);
    }
}
