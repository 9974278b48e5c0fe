#include "params/parameter_download.h"

#include <array>
#include <thread>

#include "protocol/register_map.h"
#include "serial/timing.h"

namespace torvane {

const char* const kDownloadCompleted = "Parameter download completed！";
const char* const kRestorationCompleted = "Parameter restoration completed！";

namespace {

constexpr int kCompletionPauseMs = 500;

struct Block {
    RegisterAddress Address;
    uint8_t Count;
};

constexpr Block kDownloadBlocks[] = {
    {reg::kMotorGroup, size::kMotorGroup},
    {reg::kMatchingGroup, size::kMatchingGroup},
    {reg::kApplicationGroup, size::kApplicationGroup},
    {reg::kCurrentLoopGains, size::kLoopGains},
    {reg::kSpeedLoopGains, size::kLoopGains},
    {reg::kPositionLoopGains, size::kLoopGains},
};

constexpr Block kSaveReads[] = {
    {reg::kMotorGroup, size::kMotorGroup},
    {reg::kMatchingGroup, size::kMatchingGroup},
    {reg::kApplicationGroup, size::kApplicationGroup},
    {reg::kDriveLimits, size::kDriveLimits},
    {reg::kCurrentLoopGains, size::kLoopGains},
    {reg::kSpeedLoopGains, size::kLoopGains},
    {reg::kPositionLoopGains, size::kLoopGains},
};

using FrameBuffer = std::array<uint8_t, kTxFrameSize>;

// WriteRegisterQuick reports only whether a reply came; the reply's result nibble is in
// ReplyStatus, which the dispatcher sets for the reply that answered this request.
DriveError QuickWrite(DriveLink& link, RegisterAddress address, uint8_t count, FrameBuffer& frame) {
    if (link.WriteRegisterQuick(address, count, frame) != 0) return kDeviceNoResponse;
    const uint8_t status = link.State().ReplyStatus;
    return status != 0 ? DriveErrorFromNibble(static_cast<uint8_t>(status >> 4)) : kSuccess;
}

// The payload of each download block, packed into the page's own frame buffer.
uint8_t PackDownloadBlock(RegisterAddress address, const ParameterSet& set, uint8_t* payload) {
    const LoopGroup& l = set.Loop;
    switch (address) {
        case reg::kMotorGroup:
            return PackMotorGroupDownload(payload, set.Motor);
        case reg::kMatchingGroup:
            return PackMatchingGroup(payload, set.Matching);
        case reg::kApplicationGroup:
            PackApplicationGroup(payload, set.Application);
            // The download sends the Motor Direction byte whole as the flags byte and stops
            // before Initial Position.
            payload[0] = set.Application.MotorDirection;
            return size::kApplicationGroupDownload;
        case reg::kCurrentLoopGains:
            return PackLoopGains(payload, l.CurrentLoopP, l.CurrentLoopI, l.CurrentLoopD);
        case reg::kSpeedLoopGains:
            return PackLoopGains(payload, l.SpeedLoopP, l.SpeedLoopI, l.SpeedLoopD);
        case reg::kPositionLoopGains:
            return PackLoopGains(payload, l.PositionLoopP, l.PositionLoopI, l.PositionLoopD);
        default:
            return 0;
    }
}

void Pause() {
    std::this_thread::sleep_for(Period(kCompletionPauseMs));
}

DriveError Command(DriveLink& link, NoticeSink& sink, uint16_t word, const char* completed) {
    const DriveError e =
        link.WriteRegister(reg::kControlWord, PackControlWord(link.Payload(), word));
    if (e != kSuccess) {
        ShowDriveError(sink, e);
        return e;
    }
    Pause();
    sink.Notice(completed);
    return kSuccess;
}

}  // namespace

SaveReads ReadForSave(DriveLink& link, NoticeSink& sink) {
    SaveReads report;
    for (const Block& b : kSaveReads) {
        if (const DriveError e = link.ReadRegister(b.Address, b.Count)) {
            ShowDriveError(sink, e);
            report.Failures.emplace_back(b.Address, e);
        }
    }
    return report;
}

DriveError ReadDriveParameters(DriveLink& link, ParameterSet& drive) {
    DriveState& state = link.State();
    const ParameterSet kept = state.Params;
    DriveError e = kSuccess;
    for (const Block& b : kDownloadBlocks) {
        e = link.ReadRegister(b.Address, b.Count);
        if (e == kSuccess && link.LastReplyData().size() < b.Count) e = kDeviceNoResponse;
        if (e != kSuccess) break;
    }
    if (e == kSuccess) drive = state.Params;
    state.Params = kept;
    return e;
}

VerifyReport VerifyDownload(DriveLink& link, const ParameterSet& file) {
    VerifyReport report;
    ParameterSet drive;
    report.Error = ReadDriveParameters(link, drive);
    if (report.Error == kSuccess) report.NotTaken = DiffForDownload(drive, file);
    return report;
}

std::string VerifyText(const VerifyReport& report) {
    if (report.Error != kSuccess) {
        const char* why = DriveErrorText(report.Error);
        return std::string("not verified: ") + (why ? why : "read-back failed");
    }
    if (report.NotTaken.empty()) return "verified";
    std::string text = "The drive did not take:";
    for (const std::string& line : DifferenceLines(report.NotTaken)) text += "\n" + line;
    return text;
}

std::string DownloadQuestion(const std::vector<FieldDifference>& changes) {
    std::string text = "Drive values the file changes:";
    for (const std::string& line : DifferenceLines(changes)) text += "\n" + line;
    text += "\n\nDownload the file to the drive?";
    return text;
}

DownloadResult DownloadFromListPage(DriveLink& link, NoticeSink& sink, ListMode mode,
                                    bool lookFirst) {
    DownloadResult result;
    const ParameterSet file = link.State().Params;
    FrameBuffer frame{};
    uint8_t* payload = frame.data() + kDataOffset;
    auto fail = [&](RegisterAddress at, DriveError e) {
        ShowDriveError(sink, e);
        result.Error = e;
        result.FailedAt = at;
        return result;
    };

    if (mode == ListMode::Open) {
        if (lookFirst) {
            ParameterSet drive;
            if (const DriveError e = ReadDriveParameters(link, drive)) return fail(0, e);
            result.Changes = DiffForDownload(drive, file);
            if (!sink.Confirm(DownloadQuestion(result.Changes))) {
                result.Declined = true;
                return result;
            }
        }
        for (const Block& b : kDownloadBlocks) {
            const uint8_t count = PackDownloadBlock(b.Address, file, payload);
            if (const DriveError e = QuickWrite(link, b.Address, count, frame))
                return fail(b.Address, e);
        }
    }
    const uint8_t count = PackControlWord(payload, control::kStoreParameters);
    if (const DriveError e = QuickWrite(link, reg::kControlWord, count, frame))
        return fail(reg::kControlWord, e);
    Pause();
    std::string message = kDownloadCompleted;
    if (mode == ListMode::Open) {
        result.Verify = VerifyDownload(link, file);
        message += "\n" + VerifyText(result.Verify);
    }
    sink.Notice(message);
    result.Completed = true;
    return result;
}

DriveError StoreParameters(DriveLink& link, NoticeSink& sink) {
    return Command(link, sink, control::kStoreParameters, kDownloadCompleted);
}

DriveError RestoreDefaults(DriveLink& link, NoticeSink& sink) {
    return Command(link, sink, control::kRestoreDefaults, kRestorationCompleted);
}

}  // namespace torvane
