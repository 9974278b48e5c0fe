#include "params/group_transfer.h"

#include <algorithm>

#include "params/write_stop.h"
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

// A read before a page: its failure is shown as the plain DriveError.
DriveError ReadShown(DriveLink& link, ParamGroup group, NoticeSink& sink) {
    const DriveError e = ReadGroup(link, group);
    ShowDriveError(sink, e);
    return e;
}

// The registers a group's write goes to, in order.
std::vector<RegisterAddress> BlocksOf(ParamGroup group) {
    switch (group) {
        case ParamGroup::Motor:
            return {reg::kMotorGroup};
        case ParamGroup::Application:
            return {reg::kApplicationGroup};
        case ParamGroup::Loop:
            return {reg::kCurrentLoopGains, reg::kSpeedLoopGains, reg::kPositionLoopGains};
        case ParamGroup::Custom:
            return {reg::kCustomGroup};
        case ParamGroup::Matching:
            break;
    }
    return {};
}

DriveError WriteBlock(DriveLink& link, RegisterAddress address) {
    const ParameterSet& p = link.State().Params;
    const LoopGroup& l = p.Loop;
    switch (address) {
        case reg::kMotorGroup:
            return WriteMotorGroup(link);
        case reg::kApplicationGroup:
            return WriteApplicationGroup(link);
        case reg::kCurrentLoopGains:
            return WriteLoop(link, address, l.CurrentLoopP, l.CurrentLoopI, l.CurrentLoopD);
        case reg::kSpeedLoopGains:
            return WriteLoop(link, address, l.SpeedLoopP, l.SpeedLoopI, l.SpeedLoopD);
        case reg::kPositionLoopGains:
            return WriteLoop(link, address, l.PositionLoopP, l.PositionLoopI, l.PositionLoopD);
        case reg::kCustomGroup:
            return WriteCustomGroup(link);
        default:
            return kSuccess;
    }
}

}  // namespace

uint8_t WriteGroups(DriveLink& link, BackupGuard& backup, const std::vector<ParamGroup>& groups) {
    std::vector<RegisterAddress> blocks;
    for (ParamGroup g : {ParamGroup::Motor, ParamGroup::Application, ParamGroup::Loop,
                         ParamGroup::Custom}) {
        if (std::find(groups.begin(), groups.end(), g) == groups.end()) continue;
        for (RegisterAddress a : BlocksOf(g)) blocks.push_back(a);
    }
    if (blocks.empty()) return kPageAccepted;
    if (!backup.BeforeWrite(link)) return kPageCancelled;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (const DriveError e = WriteBlock(link, blocks[i])) {
            WriteStop stop;
            stop.At = blocks[i];
            stop.Error = e;
            stop.Written.assign(blocks.begin(), blocks.begin() + static_cast<long>(i));
            stop.NotWritten.assign(blocks.begin() + static_cast<long>(i), blocks.end());
            stop.Backup = backup.LastBackup();
            backup.Sink().Notice(WriteStopText(stop), NoticeIcon::Error);
            return e;
        }
    }
    return kPageAccepted;
}

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

uint8_t EditMotorGroup(DriveLink& link, bool modify, const PageRunner& showPage,
                       BackupGuard& backup) {
    if (const DriveError e = ReadShown(link, ParamGroup::Motor, backup.Sink())) return e;
    return AfterPage(showPage(), modify,
                     [&]() -> DriveError { return WriteGroups(link, backup, {ParamGroup::Motor}); });
}

uint8_t EditApplicationGroup(DriveLink& link, bool modify, const PageRunner& showPage,
                             BackupGuard& backup) {
    if (const DriveError e = ReadShown(link, ParamGroup::Application, backup.Sink())) return e;
    return AfterPage(showPage(), modify, [&]() -> DriveError {
        return WriteGroups(link, backup, {ParamGroup::Application});
    });
}

uint8_t EditLoopGroup(DriveLink& link, bool modify, const PageRunner& showPage,
                      BackupGuard& backup) {
    if (const DriveError e = ReadShown(link, ParamGroup::Loop, backup.Sink())) return e;
    return AfterPage(showPage(), modify,
                     [&]() -> DriveError { return WriteGroups(link, backup, {ParamGroup::Loop}); });
}

uint8_t EditCustomGroup(DriveLink& link, const PageRunner& showDialog, BackupGuard& backup) {
    // The dialog opens even when the read fails, with what the set held before.
    (void)ReadGroup(link, ParamGroup::Custom);
    const uint8_t r = showDialog();
    if (r == kPageCancelled) return kPageCancelled;
    if (r != kPageAccepted) return 0;
    const uint8_t written = WriteGroups(link, backup, {ParamGroup::Custom});
    return written == kPageAccepted ? 0 : written;
}

void RunNewChain(DriveLink& link, BackupGuard& backup, const NewChainPages& pages) {
    int step = 1;
    for (;;) {
        uint8_t r = 0;
        switch (step) {
            case 1:
                r = EditMotorGroup(link, false, pages.Motor, backup);
                break;
            case 2:
                r = EditApplicationGroup(link, false, pages.Application, backup);
                break;
            case 3:
                r = EditLoopGroup(link, false, pages.Loop, backup);
                break;
            default:
                // The list page: Back returns to the loop page, anything else ends the chain.
                if (pages.List() != kPageBack) return;
                step = 3;
                continue;
        }
        // A failure has been shown by the routine.
        if (IsDriveError(r) || r == kPageCancelled) return;
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

SetResult SetFieldsOnDrive(DriveLink& link, BackupGuard& backup,
                           const std::vector<Assignment>& assignments) {
    NoticeSink& sink = backup.Sink();
    bool named[5] = {};
    for (const Assignment& a : assignments)
        named[static_cast<int>(FieldInfo(a.Field).Group)] = true;
    const ParamGroup order[] = {ParamGroup::Motor, ParamGroup::Application, ParamGroup::Loop,
                                ParamGroup::Custom};
    std::vector<ParamGroup> groups;
    for (ParamGroup g : order) {
        if (!named[static_cast<int>(g)]) continue;
        groups.push_back(g);
        if (const DriveError e = ReadGroup(link, g)) {
            ShowDriveError(sink, e);
            return {SetResult::Status::Failed, e};
        }
    }
    if (auto refused = ApplyAssignments(assignments, link.State())) {
        ShowEntryError(sink, *refused);
        return {SetResult::Status::Refused, kSuccess};
    }
    const uint8_t r = WriteGroups(link, backup, groups);
    if (r == kPageCancelled) return {SetResult::Status::NoBackup, kSuccess};
    if (r != kPageAccepted) return {SetResult::Status::Failed, r};
    return {SetResult::Status::Written, kSuccess};
}

}  // namespace torvane
