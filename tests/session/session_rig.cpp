#include "session_rig.h"

#include "protocol/register_map.h"

namespace torvane::test {

namespace {

std::string Hex(uint32_t value, int digits) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string s(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        s[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return s;
}

}  // namespace

SessionRig::SessionRig(double timeScale, sim::SimOptions options) {
    SetTimeScale(timeScale);
    options.Pacing = false;
    Drive = std::make_unique<sim::SimulatedDrive>(options);
    Link.SetReplyHandler(&Display);
}

SessionRig::~SessionRig() {
    Disconnect();
    Link.SetReplyHandler(nullptr);
    Drive.reset();
    SetTimeScale(1.0);
}

bool SessionRig::Connect() {
    if (!Drive->Start()) return false;
    if (!Port.Open(Drive->SlavePath())) return false;
    Link.StartExtractor();
    for (const auto& [address, count] : {std::pair{reg::kIdentification, size::kIdentification},
                                         std::pair{reg::kMotorGroup, size::kMotorGroup},
                                         std::pair{reg::kApplicationGroup, size::kApplicationGroup},
                                         std::pair{reg::kMatchingGroup, size::kMatchingGroup}}) {
        if (Link.ReadRegister(address, count) != kSuccess) return false;
    }
    Mark();
    return true;
}

void SessionRig::Disconnect() {
    if (!Port.PortOpen()) return;
    Port.ClearPortOpen();
    Link.StopExtractor();
    Port.Close();
}

std::vector<std::string> SessionRig::Frames() const {
    std::vector<std::string> lines;
    const auto log = Drive->Requests();
    for (size_t i = mark_; i < log.size(); ++i) {
        const auto& r = log[i];
        if (r.Function == kFunctionRead) {
            lines.push_back("read " + Hex(r.Address, 4) + " " + std::to_string(r.Count));
            continue;
        }
        std::string line = "write " + Hex(r.Address, 4);
        for (size_t k = kDataOffset; k + 2 < r.Bytes.size(); ++k) line += " " + Hex(r.Bytes[k], 2);
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SessionRig::RawFrames() const {
    std::vector<std::string> frames;
    const auto log = Drive->Requests();
    for (size_t i = mark_; i < log.size(); ++i) {
        frames.push_back(HexBytes(log[i].Bytes.data(), log[i].Bytes.size()));
    }
    return frames;
}

void SessionRig::Mark() {
    mark_ = Drive->RequestCount();
    Notices.Shown.clear();
    Timers.ClearLog();
}

}  // namespace torvane::test
