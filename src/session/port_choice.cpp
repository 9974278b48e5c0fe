#include "session/port_choice.h"

namespace torvane {

std::vector<std::string> PortListItems(const std::vector<std::string>& found,
                                       bool offerSimulatedDrive) {
    std::vector<std::string> items = found;
    if (items.empty()) items.emplace_back(kNoPortItem);
    if (offerSimulatedDrive) items.emplace_back(kSimulatedDriveItem);
    return items;
}

std::string OpenFailText(const std::string& reason) {
    std::string text = kOpenFailText;
    if (!reason.empty()) text += "\n" + reason;
    return text;
}

uint32_t BaudForIndex(int index) {
    static constexpr uint32_t kRates[] = {9600, 14400, 19600, 38400, 57600};
    if (index < 0 || index >= static_cast<int>(sizeof kRates / sizeof kRates[0])) return 115200;
    return kRates[index];
}

}  // namespace torvane
