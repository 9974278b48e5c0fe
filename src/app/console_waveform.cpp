// CTorvaneDlg: the Waveform Display group (live samples, Clear Waveform, Save Data).
#include <cstdio>

#include "app/torvane_dlg.h"

void CTorvaneDlg::OnParameterChanged(int index) {
    WaveParameter = index < 0 ? 0 : static_cast<uint8_t>(index);
}

void CTorvaneDlg::AppendSample() {
    double value = 0;
    switch (WaveParameter) {
        case 1:
            value = state_.BusVoltage;
            break;
        case 2:
            value = state_.PhaseCurrent;
            break;
        case 3:
            value = state_.LiveSpeed;
            break;
        case 4:
            value = state_.LivePosition;
            break;
        case 5:
            value = OutputAxisPosition;
            break;
        case 6:
            value = OutputAxisAngle;
            break;
        default:
            return;  // BLANK: nothing is plotted
    }
    sampleSeries_->AppendValue(value, QString(), 0xFF);
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
