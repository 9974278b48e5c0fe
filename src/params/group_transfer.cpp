#include "params/group_transfer.h"

#include "protocol/register_map.h"

namespace torvane {

namespace {

struct BlockRead {
    RegisterAddress Address;
    uint8_t Count;
};

DriveError ReadBlocks(DriveLink& link, std::initializer_list<BlockRead> blocks) {
    for (const BlockRead& b : blocks) {
        if (const DriveError e = link.ReadRegister(b.Address, b.Count)) return e;
    }
    return kSuccess;
}

DriveError WriteLoop(DriveLink& link, RegisterAddress address, float p, float i, float d) {
    return link.WriteRegister(address, PackLoopGains(link.Payload(), p, i, d));
}

uint8_t AfterPage(uint8_t result, bool modify, const std::function<DriveError()>& write) {
    if (result == kPageCancelled) return kPageCancelled;
    if (result == kPageBack && !modify) return kPageBack;
    if (result != kPageAccepted) return 0;
    if (const DriveError e = write()) return e;
    return kPageAccepted;
}

bool IsDriveError(uint8_t r) {
    return r >= kDeviceNoResponse;
}

}  // namespace

DriveError ReadGroup(DriveLink& link, ParamGroup group) {
    switch (group) {
        case ParamGroup::Motor:
            return ReadBlocks(link, {{reg::kMotorGroup, size::kMotorGroup},
                                     {reg::kMatchingGroup, size::kMatchingGroup}});
        case ParamGroup::Matching:
            return ReadBlocks(link, {{reg::kMatchingGroup, size::kMatchingGroup}});
        case ParamGroup::Application:
            return ReadBlocks(link, {{reg::kApplicationGroup, size::kApplicationGroup},
                                     {reg::kDriveLimits, size::kDriveLimits}});
        case ParamGroup::Loop:
            return ReadBlocks(link, {{reg::kCurrentLoopGains, size::kLoopGains},
                                     {reg::kSpeedLoopGains, size::kLoopGains},
                                     {reg::kPositionLoopGains, size::kLoopGains},
                                     {reg::kApplicationGroup, size::kApplicationGroup}});
        case ParamGroup::Custom:
            return ReadBlocks(link, {{reg::kCustomGroup, size::kCustomGroup}});
    }
    return kSuccess;
}

DriveError WriteMotorGroup(DriveLink& link) {
    return link.WriteRegister(reg::kMotorGroup,
                              PackMotorGroup(link.Payload(), link.State().Params.Motor));
}

DriveError WriteApplicationGroup(DriveLink& link) {
    return link.WriteRegister(
        reg::kApplicationGroup,
        PackApplicationGroup(link.Payload(), link.State().Params.Application));
}

DriveError WriteLoopGroup(DriveLink& link) {
    const LoopGroup l = link.State().Params.Loop;
    if (const DriveError e =
            WriteLoop(link, reg::kCurrentLoopGains, l.CurrentLoopP, l.CurrentLoopI, l.CurrentLoopD))
        return e;
    if (const DriveError e =
            WriteLoop(link, reg::kSpeedLoopGains, l.SpeedLoopP, l.SpeedLoopI, l.SpeedLoopD))
        return e;
    return WriteLoop(link, reg::kPositionLoopGains, l.PositionLoopP, l.PositionLoopI,
                     l.PositionLoopD);
}

DriveError WriteCustomGroup(DriveLink& link) {
    return link.WriteRegister(reg::kCustomGroup,
                              PackCustomGroup(link.Payload(), link.State().Params.Custom));
}

uint8_t EditMotorGroup(DriveLink& link, bool modify, const PageRunner& showPage) {
    if (const DriveError e = ReadGroup(link, ParamGroup::Motor)) return e;
    return AfterPage(showPage(), modify, [&] { return WriteMotorGroup(link); });
}

uint8_t EditApplicationGroup(DriveLink& link, bool modify, const PageRunner& showPage) {
    if (const DriveError e = ReadGroup(link, ParamGroup::Application)) return e;
    return AfterPage(showPage(), modify, [&] { return WriteApplicationGroup(link); });
}

uint8_t EditLoopGroup(DriveLink& link, bool modify, const PageRunner& showPage) {
    if (const DriveError e = ReadGroup(link, ParamGroup::Loop)) return e;
    return AfterPage(showPage(), modify, [&] { return WriteLoopGroup(link); });
}

uint8_t EditCustomGroup(DriveLink& link, const PageRunner& showDialog) {
    // The dialog opens even when the read fails, with what the set held before.
    (void)ReadGroup(link, ParamGroup::Custom);
    const uint8_t r = showDialog();
    if (r == kPageCancelled) return kPageCancelled;
    if (r == kPageAccepted) return WriteCustomGroup(link);
    return 0;
}

void RunNewChain(DriveLink& link, NoticeSink& sink, const NewChainPages& pages) {
    int step = 1;
    for (;;) {
        uint8_t r = 0;
        switch (step) {
            case 1:
                r = EditMotorGroup(link, false, pages.Motor);
                break;
            case 2:
                r = EditApplicationGroup(link, false, pages.Application);
                break;
            case 3:
                r = EditLoopGroup(link, false, pages.Loop);
                break;
            default:
                // The list page: Back returns to the loop page, anything else ends the chain.
                if (pages.List() != kPageBack) return;
                step = 3;
                continue;
        }
        if (IsDriveError(r)) {
            ShowDriveError(sink, r);
            return;
        }
        if (r == kPageCancelled) return;
        step = r == kPageBack ? step - 1 : step + 1;
        if (step < 1) step = 1;
    }
}

bool ParamCommandAllowed(ParamCommand command, const ConsoleFacts& facts, NoticeSink& sink) {
    if (!facts.PortOpen) {
        sink.Notice("The serial port is not open");
        return false;
    }
    switch (command) {
        case ParamCommand::Motor:
        case ParamCommand::Driver:
        case ParamCommand::LoopParameters:
        case ParamCommand::CustomParameters:
            return true;
        default:
            break;
    }
    if (facts.MotorEnabled) {
        sink.Notice("The motor is enabled");
        return false;
    }
    if (facts.AutoUpdateTicked) {
        sink.Notice("The device is busy");
        return false;
    }
    return true;
}

std::vector<FieldLine> GroupFieldLines(const ParameterSet& set, ParamGroup group) {
    std::vector<FieldLine> out;
    for (FieldId id : FieldsOfGroup(group)) {
        const ParameterField& f = FieldInfo(id);
        out.push_back({f.Name, FormatField(set, id), f.Unit});
    }
    return out;
}

SetResult SetFieldsOnDrive(DriveLink& link, NoticeSink& sink,
                           const std::vector<Assignment>& assignments) {
    bool named[5] = {};
    for (const Assignment& a : assignments)
        named[static_cast<int>(FieldInfo(a.Field).Group)] = true;
    const ParamGroup order[] = {ParamGroup::Motor, ParamGroup::Application, ParamGroup::Loop,
                                ParamGroup::Custom};
    for (ParamGroup g : order) {
        if (!named[static_cast<int>(g)]) continue;
        if (const DriveError e = ReadGroup(link, g)) {
            ShowDriveError(sink, e);
            return {SetResult::Status::Failed, e};
        }
    }
    if (auto refused = ApplyAssignments(assignments, link.State())) {
        ShowEntryError(sink, *refused);
        return {SetResult::Status::Refused, kSuccess};
    }
    for (ParamGroup g : order) {
        if (!named[static_cast<int>(g)]) continue;
        DriveError e = kSuccess;
        switch (g) {
            case ParamGroup::Motor:
                e = WriteMotorGroup(link);
                break;
            case ParamGroup::Application:
                e = WriteApplicationGroup(link);
                break;
            case ParamGroup::Loop:
                e = WriteLoopGroup(link);
                break;
            case ParamGroup::Custom:
                e = WriteCustomGroup(link);
                break;
            case ParamGroup::Matching:
                break;
        }
        if (e) {
            ShowDriveError(sink, e);
            return {SetResult::Status::Failed, e};
        }
    }
    return {SetResult::Status::Written, kSuccess};
}

}  // namespace torvane
