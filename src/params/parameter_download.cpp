#include "params/parameter_download.h"

#include <array>
#include <thread>

#include "params/write_stop.h"
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
        WriteStop stop;
        stop.At = reg::kControlWord;
        stop.Error = e;
        sink.Notice(WriteStopText(stop), NoticeIcon::Error);
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

DriveError ReadDriveParameters(DriveLink& link, ParameterSet& drive,
                               uint32_t* driveCountsPerRev, RegisterAddress* failedAt) {
    DriveState& state = link.State();
    // The motor block's read sets CountsPerRev from the drive's encoder lines; a look at the
    // drive must not change the resolution the set (an opened file, say) goes with.
    const ParameterSet kept = state.Params;
    const uint32_t keptCounts = state.CountsPerRev;
    DriveError e = kSuccess;
    for (const Block& b : kDownloadBlocks) {
        e = link.ReadRegister(b.Address, b.Count);
        if (e == kSuccess && link.LastReplyData().size() < b.Count) e = kDeviceNoResponse;
        if (e != kSuccess) {
            if (failedAt) *failedAt = b.Address;
            break;
        }
    }
    if (e == kSuccess) {
        drive = state.Params;
        if (driveCountsPerRev) *driveCountsPerRev = state.CountsPerRev;
    }
    state.Params = kept;
    state.CountsPerRev = keptCounts;
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

DownloadResult DownloadFromListPage(DriveLink& link, BackupGuard& backup, ListMode mode,
                                    bool lookFirst) {
    NoticeSink& sink = backup.Sink();
    DownloadResult result;
    const ParameterSet file = link.State().Params;
    FrameBuffer frame{};
    uint8_t* payload = frame.data() + kDataOffset;
    // The blocks of this download, in order; `written` of them went through.
    std::vector<RegisterAddress> blocks;
    if (mode == ListMode::Open) {
        for (const Block& b : kDownloadBlocks) blocks.push_back(b.Address);
    }
    blocks.push_back(reg::kControlWord);
    auto fail = [&](size_t written, DriveError e) {
        WriteStop stop;
        stop.At = blocks[written];
        stop.Error = e;
        stop.Written.assign(blocks.begin(), blocks.begin() + static_cast<long>(written));
        stop.NotWritten.assign(blocks.begin() + static_cast<long>(written), blocks.end());
        stop.Backup = result.Backup;
        sink.Notice(WriteStopText(stop), NoticeIcon::Error);
        result.Error = e;
        result.FailedAt = stop.At;
        return result;
    };

    if (mode == ListMode::Open) {
        // One look at the drive serves both the question and the backup.
        if (lookFirst || backup.Without() != WithoutBackup::Allowed) {
            backup.LearnModel(link);
            ParameterSet drive;
            uint32_t counts = link.State().CountsPerRev;
            RegisterAddress failedAt = 0;
            if (const DriveError e = ReadDriveParameters(link, drive, &counts, &failedAt)) {
                WriteStop stop;
                stop.At = failedAt;
                stop.Error = e;
                sink.Notice(WriteStopText(stop), NoticeIcon::Error);
                result.Error = e;
                result.FailedAt = failedAt;
                return result;
            }
            if (lookFirst) {
                result.Changes = DiffForDownload(drive, file);
                if (!sink.Confirm(DownloadQuestion(result.Changes))) {
                    result.Declined = true;
                    return result;
                }
            }
            if (!backup.BeforeWrite(link.State().ModelString, drive, counts)) {
                result.NoBackup = true;
                return result;
            }
            result.Backup = backup.LastBackup();
        }
        for (size_t i = 0; i < std::size(kDownloadBlocks); ++i) {
            const Block& b = kDownloadBlocks[i];
            const uint8_t count = PackDownloadBlock(b.Address, file, payload);
            if (const DriveError e = QuickWrite(link, b.Address, count, frame)) return fail(i, e);
        }
    }
    const uint8_t count = PackControlWord(payload, control::kStoreParameters);
    if (const DriveError e = QuickWrite(link, reg::kControlWord, count, frame))
        return fail(blocks.size() - 1, e);
    Pause();
    std::string message = kDownloadCompleted;
    if (mode == ListMode::Open) {
        result.Verify = VerifyDownload(link, file);
        message += '\n';
        message += VerifyText(result.Verify);
    }
    // A set the drive did not (provably) take is a warning, not information: the command line
    // sends it to standard error with its failing exit.
    sink.Notice(message, mode == ListMode::Open && !result.Verify.Verified() ? NoticeIcon::Warning
                                                                               : NoticeIcon::None);
    result.Completed = true;
    return result;
}

DriveError StoreParameters(DriveLink& link, NoticeSink& sink) {
    return Command(link, sink, control::kStoreParameters, kDownloadCompleted);
}

DriveError RestoreDefaults(DriveLink& link, BackupGuard& backup) {
    if (!backup.BeforeWrite(link)) return kBackupRefused;
    return Command(link, backup.Sink(), control::kRestoreDefaults, kRestorationCompleted);
}

}  // namespace torvane
