#include "session/can_settings.h"

#include "protocol/frame.h"
#include "protocol/number_text.h"
#include "protocol/register_map.h"
#include "session/motion_texts.h"

namespace torvane {

std::string CanAddressText(uint8_t addressCode) {
    return FormatD(addressCode + 140);
}

std::optional<int> CanBaudItem(uint8_t baudCode) {
    if (baudCode == 4) return 0;
    if (baudCode == 5) return 1;
    return std::nullopt;
}

uint8_t EncodeCanAddress(const std::string& addressText) {
    // Kept in 8 bits on purpose: the drive's field is one byte, and out-of-range addresses wrap
    // as they always have. Unsigned arithmetic: a saturated huge entry must not overflow.
    return static_cast<uint8_t>(static_cast<uint64_t>(LeadingInteger(addressText)) - 140u);
}

uint8_t EncodeCanBaud(int baudIndex) {
    return static_cast<uint8_t>(static_cast<unsigned>(baudIndex) + 4u);
}

CommandResult WriteCanSettings(CommandContext& ctx, const std::string& addressText, int baudIndex) {
    if (!ctx.Port.PortOpen()) {
        ctx.Notices.Failure(kSerialPortNotOpenText);
        return {CommandStatus::Refused, kSuccess};
    }
    DriveState& state = ctx.State();
    state.CanAddressCode = EncodeCanAddress(addressText);
    state.CanBaudCode = EncodeCanBaud(baudIndex);
    const DriveError e = ctx.Link.WriteRegister(
        reg::kCanSettings,
        PackCanSettings(ctx.Link.Payload(), state.CanBaudCode, state.CanAddressCode));
    if (e != kSuccess) {
        ShowDriveError(ctx.Notices, e);
        return {CommandStatus::Failed, e};
    }
    return {};
}

}  // namespace torvane
