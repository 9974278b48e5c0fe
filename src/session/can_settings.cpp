#include "session/can_settings.h"

#include "protocol/frame.h"
#include "protocol/register_map.h"
#include "session/motion_texts.h"

namespace torvane {

uint8_t EncodeCanAddress(const std::string& addressText) {
    // Modulo 256 in unsigned arithmetic: no overflow for any leading integer.
    return static_cast<uint8_t>(static_cast<uint64_t>(LeadingInteger(addressText)) - 140u);
}

uint8_t EncodeCanBaud(int baudIndex) {
    return static_cast<uint8_t>(static_cast<unsigned>(baudIndex) + 4u);
}

CommandResult WriteCanSettings(CommandContext& ctx, const std::string& addressText, int baudIndex) {
    if (!ctx.Port.PortOpen()) {
        ctx.Notices.Notice(kSerialPortNotOpenText);
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
