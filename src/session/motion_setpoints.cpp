#include "session/motion_setpoints.h"

#include <string>

#include "protocol/register_map.h"
#include "session/motion_rules.h"
#include "session/motion_texts.h"

namespace torvane {

namespace {

// CheckRange with the field's first line in front of the band; false when the check failed
// (message shown).
bool Within(CommandContext& ctx, const std::string& text, double min, double max,
            const char* firstLine) {
    std::string band;
    if (CheckRange(text, min, max, band) != 2) return true;
    ctx.Notices.Failure(firstLine + band, NoticeIcon::Error);
    return false;
}

bool SpeedWithinLimit(CommandContext& ctx, const MotionEntries& entries) {
    const double max = ctx.State().Params.Application.MaximumSpeed;
    return Within(ctx, entries.Speed, -max, max, kVelocityOverrunText);
}

}  // namespace

DriveError WriteControlWord(DriveLink& link, uint16_t word) {
    return link.WriteRegister(reg::kControlWord, PackControlWord(link.Payload(), word));
}

DriveError WriteWorkMode(DriveLink& link, int workModeIndex) {
    link.Motion().WorkMode = static_cast<uint8_t>(workModeIndex);
    return link.WriteRegister(reg::kWorkMode, PackWorkMode(link.Payload(), link.Motion().WorkMode));
}

DriveError SendCurrentSetpoint(CommandContext& ctx, const MotionEntries& entries, int direction) {
    const double rating = ctx.State().Params.Application.AppliedCurrentRating;
    if (!Within(ctx, entries.Current, -rating, rating, kCurrentOverrunText)) return kCheckFailed;
    MotionFields& motion = ctx.Motion();
    motion.CurrentSetpoint = EntryAsNumber(entries.Current) * static_cast<float>(direction);
    return ctx.Link.WriteRegister(reg::kCurrentSetpoint,
                                  PackCurrentSetpoint(ctx.Link.Payload(), motion.CurrentSetpoint));
}

DriveError SendSpeedSetpoint(CommandContext& ctx, const MotionEntries& entries, int direction) {
    if (!SpeedWithinLimit(ctx, entries)) return kCheckFailed;
    MotionFields& motion = ctx.Motion();
    ctx.Console.SpeedSetpointRpm = EntryAsNumber(entries.Speed) * static_cast<float>(direction);
    motion.SetpointExtra = 0;
    motion.SpeedSetpoint = SaturateToI32(ctx.Console.SpeedSetpointRpm);
    return ctx.Link.WriteRegister(
        reg::kSpeedSetpoint,
        PackSpeedSetpoint(ctx.Link.Payload(), motion.SpeedSetpoint, motion.SetpointExtra));
}

DriveError SendPositionSetpoint(CommandContext& ctx, const MotionEntries& entries, int direction) {
    if (!SpeedWithinLimit(ctx, entries)) return kCheckFailed;
    const ApplicationGroup& app = ctx.State().Params.Application;
    // The limits are whole circles held as integers; they are compared as floats.
    const float minPos = -static_cast<float>(app.AppliedMinPos);
    const float maxPos = static_cast<float>(app.AppliedMaxPos);
    if (!Within(ctx, entries.Angle, minPos, maxPos, kPositionOverrunText)) return kCheckFailed;
    MotionFields& motion = ctx.Motion();
    motion.PositionSpeed = EntryAsInteger(entries.Speed);
    motion.PositionType = static_cast<uint8_t>(entries.PositionTypeIndex);
    motion.PositionSetpoint =
        SaturateToI32(static_cast<double>(EntryAsInteger(entries.Position)) * direction);
    motion.SetpointExtra = EntryAsInteger(entries.SetpointExtra);
    return ctx.Link.WriteRegister(
        reg::kPositionSetpoint,
        PackPositionSetpoint(ctx.Link.Payload(), motion.PositionType, motion.PositionSetpoint,
                             motion.PositionSpeed, motion.SetpointExtra));
}

}  // namespace torvane
