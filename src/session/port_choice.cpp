#include "session/port_choice.h"

namespace torvane {

namespace {

constexpr const char* kDescriptionSeparator = " — ";

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::vector<PortItem> PortListItems(const std::vector<FoundPort>& found, bool offerSimulatedDrive) {
    std::vector<PortItem> items;
    for (const FoundPort& p : found) {
        std::string text = p.Path;
        if (!p.Description.empty()) text += kDescriptionSeparator + p.Description;
        items.push_back({text, p.Path, p.StableName});
    }
    if (items.empty()) items.push_back({kNoPortItem, kNoPortItem, {}});
    if (offerSimulatedDrive) items.push_back({kSimulatedDriveItem, kSimulatedDriveItem, {}});
    return items;
}

std::string ChosenPort(const std::string& text, const std::vector<PortItem>& items) {
    const std::string trimmed = Trimmed(text);
    for (const PortItem& item : items) {
        if (item.Text == trimmed) return item.Port;
    }
    return trimmed;
}

std::string PortLine(const FoundPort& port) {
    std::string line = port.Path;
    if (!port.Description.empty() || !port.StableName.empty()) line += "\t" + port.Description;
    if (!port.StableName.empty()) line += "\t" + port.StableName;
    return line;
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
