// CTorvaneDlg: the Waveform Display group's commands (Parameter, Clear Waveform, Save Data).
#include <cstdio>

#include "app/torvane_dlg.h"
#include "app/waveform_panel.h"

void CTorvaneDlg::OnParameterChanged(int index) {
    fields_.WaveParameter = index < 0 ? 0 : static_cast<uint8_t>(index);
}

void CTorvaneDlg::SelectWaveParameter(int index) {
    waveform_->SelectParameter(index);
}

void CTorvaneDlg::ClearWaveform() {
    sampleSeries_->ClearPoints();
}

std::string CTorvaneDlg::CaptureFileName(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M", &local);
    return std::string("TestData") + stamp + ".txt";
}

void CTorvaneDlg::SaveData() {
    const std::string name = CaptureFileName(std::time(nullptr));
    // Binary, so the line ends in CR LF on every platform, as the file has always held.
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) return;
    std::fputs("111111\r\n", file);
    std::fclose(file);
}
