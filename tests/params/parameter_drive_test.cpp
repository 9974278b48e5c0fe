// The parameter sequences over the whole stack: DriveLink on the real SerialPort and the
// simulated drive's pseudo-terminal. What was sent is taken from the drive's request log; what
// the user was told from a recording NoticeSink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "params/group_transfer.h"
#include "params/parameter_backup.h"
#include "params/parameter_download.h"
#include "params/parameter_file.h"
#include "params/parameter_rules.h"
#include "protocol/drive_link.h"
#include "protocol/register_map.h"
#include "serial/timing.h"
#include "recording_sink.h"
#include "serial/serial_port.h"
#include "sim/simulated_drive.h"
#include "support/cli_run.h"

namespace torvane {
namespace {

using sim::DriveBehaviour;
using sim::RecordedRequest;
using test::RecordingSink;

class ParameterDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        // 5000 ms waits take 250 ms, WriteRegisterQuick's 1000 ms 50 ms, the pause 25 ms.
        SetTimeScale(0.05);
        backups = test::TestFolder("torvane-backups");
        backup.SetFolder(backups.string());
        sim::SimOptions options;
        options.Pacing = false;
        drive = std::make_unique<sim::SimulatedDrive>(options);
        ASSERT_TRUE(drive->Start());
        std::string reason;
        ASSERT_TRUE(port.Open(drive->SlavePath(), &reason)) << reason;
        link.StartExtractor();
    }
    void TearDown() override {
        port.ClearPortOpen();
        EXPECT_TRUE(link.StopExtractor());
        EXPECT_TRUE(port.Close());
        // The serving thread ends first: observers read `drive` from it.
        if (drive) drive->Stop();
        drive.reset();
        SetTimeScale(1.0);
        std::filesystem::remove_all(backups);
    }
    std::vector<std::string> BackupNames() const {
        std::vector<std::string> out;
        for (const BackupFile& f : ListBackups(backups.string()))
            out.push_back(std::filesystem::path(f.Path).filename().string());
        return out;
    }

    // "R 1000 17", "W 6000 2 04 01": one line a request (a write's data for short ones).
    std::vector<std::string> Log() const {
        std::vector<std::string> out;
        for (const RecordedRequest& r : drive->Requests()) {
            char head[32];
            std::snprintf(head, sizeof head, "%c %04X %u", r.Function == kFunctionRead ? 'R' : 'W',
                          r.Address, r.Count);
            std::string line = head;
            if (r.Function == kFunctionWrite && r.Count <= 2)
                line += " " + HexBytes(r.Bytes.data() + kDataOffset, r.Count);
            out.push_back(line);
        }
        return out;
    }
    // The data bytes of the n-th request.
    std::string Data(size_t n) const {
        const auto log = drive->Requests();
        const RecordedRequest& r = log.at(n);
        return HexBytes(r.Bytes.data() + kDataOffset, r.Bytes.size() - kFrameOverhead);
    }
    // A file's set that differs from the drive's factory values in every group.
    static ParameterSet FileSet() {
        ParameterSet f;
        f.Motor = {5, 2, 1000, 2.0f, 4.0f, 1500, 6};
        f.Matching = {1, 1, 1, 0, 0xFF, 0x1234};
        f.Application.MotorDirection = 1;
        f.Application.AppliedCurrentRating = 2.0f;
        f.Application.AppliedLockedRotorCurrent = 4.0f;
        f.Application.MaximumSpeed = 2000;
        f.Application.Acceleration = 500;
        f.Application.Deceleration = 0;
        f.Application.StopDeceleration = 0;
        f.Application.AppliedMaxPos = 10;
        f.Application.AppliedMinPos = 2;
        f.Loop = {1.5f, 0.25f, 0.0f, 2.0f, 0.5f, 0.0f, 1.0f, 0.125f, 0.0f};
        return f;
    }
    sim::DriveParameters Stored() {
        return drive->WithBehaviour([](DriveBehaviour& b) { return b.StoredParameters(); });
    }

    std::unique_ptr<sim::SimulatedDrive> drive;
    SerialPort port;
    DriveState state;
    MotionFields motion;
    DriveLink link{port, state, motion};
    RecordingSink sink;
    // The sequences as such (no backup made: WithoutBackup::Allowed), and with their backup.
    BackupGuard plain{sink, WithoutBackup::Allowed};
    BackupGuard backup{sink, WithoutBackup::Refuse};
    std::filesystem::path backups;
};

const std::vector<std::string> kDownloadWrites = {
    "W 1000 16", "W 2200 7", "W 1100 33", "W 2000 12", "W 200C 12", "W 2018 12", "W 6000 2 04 01",
};
const std::vector<std::string> kSixReads = {
    "R 1000 17", "R 2200 7", "R 1100 37", "R 2000 12", "R 200C 12", "R 2018 12",
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(ParameterDriveTest, OpenModeWritesTheSixBlocksInOrderThenStoresAndVerifies) {
    state.Params = FileSet();
    state.Params.Application.InitialPosition = 77;  // not sent: the 0x1100 write stops before it
    state.Params.Motor.MotorHallSequence = 6;       // not sent: 16 bytes of 0x1000
    const DownloadResult r = DownloadFromListPage(link, plain, ListMode::Open, false);
    EXPECT_TRUE(r.Completed);
    EXPECT_EQ(r.Error, kSuccess);
    EXPECT_TRUE(r.Verify.Verified());
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::None) << "a verified download is information";
    EXPECT_EQ(Log(), Join(kDownloadWrites, kSixReads));
    EXPECT_EQ(Data(0), "05 02 03 E8 40 00 00 00 40 80 00 00 00 00 05 DC");
    EXPECT_EQ(Data(1), "01 01 01 00 FF 12 34");
    EXPECT_EQ(Data(2),
              "01 40 00 00 00 40 80 00 00 00 00 07 D0 00 00 01 F4 00 00 00 00 00 00 00 00 "
              "00 00 00 0A 00 00 00 02");
    EXPECT_EQ(Data(5), "3F 80 00 00 3E 00 00 00 00 00 00 00");
    for (const RecordedRequest& req : drive->Requests()) EXPECT_TRUE(req.CrcOk);
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{"Parameter download completed\xEF\xBC\x81\nverified"});

    // 0x0401 stored what was written; the set holds the file again.
    const sim::DriveParameters stored = Stored();
    EXPECT_EQ(stored.Motor.PolePairs, 5);
    EXPECT_EQ(stored.Motor.MotorHallSequence, 1) << "the factory value: not downloaded";
    EXPECT_EQ(stored.Application.MaximumSpeed, 2000);
    EXPECT_EQ(stored.Application.InitialPosition, 0);
    EXPECT_EQ(stored.Loop.PositionLoopI, 0.125f);
    EXPECT_EQ(state.Params.Application.InitialPosition, 77);
    EXPECT_EQ(state.Params.Motor.PolePairs, 5);
}

TEST_F(ParameterDriveTest, NewAndSaveModesSendOnlyTheStoreCommand) {
    for (ListMode mode : {ListMode::New, ListMode::Save}) {
        drive->ClearRequests();
        sink.shown.clear();
        const DownloadResult r = DownloadFromListPage(link, plain, mode, true);
        EXPECT_TRUE(r.Completed);
        EXPECT_EQ(Log(), std::vector<std::string>{"W 6000 2 04 01"});
        const RecordedRequest req = drive->Requests()[0];
        ASSERT_EQ(req.Bytes.size(), 11u);
        EXPECT_EQ(HexBytes(req.Bytes.data(), 9), "5A A5 06 02 60 00 02 04 01");
        EXPECT_TRUE(req.CrcOk);
        EXPECT_EQ(sink.Texts(),
                  std::vector<std::string>{"Parameter download completed\xEF\xBC\x81"});
    }
}

TEST_F(ParameterDriveTest, AnErrorReplyStopsTheDownloadAndIsShown) {
    const struct {
        ListMode mode;
        RegisterAddress at;
        uint8_t nibble;
        std::vector<std::string> log;
        const char* message;
    } cases[] = {
        {ListMode::Open,
         reg::kMatchingGroup,
         8,
         {"W 1000 16", "W 2200 7"},
         "Matching Parameters (0x2200): Parameters are read-only\n"
         "Written: Motor Parameters (0x1000)\n"
         "Not written: Matching Parameters (0x2200), Application Parameters (0x1100), "
         "Current Loop Parameters (0x2000), Speed Loop Parameters (0x200C), "
         "Position Loop Parameters (0x2018), Control Word (0x6000)\n"
         "The drive now holds a mix of old and new values, and has not stored it."},
        {ListMode::Open,
         reg::kPositionLoopGains,
         10,
         {"W 1000 16", "W 2200 7", "W 1100 33", "W 2000 12", "W 200C 12", "W 2018 12"},
         "Position Loop Parameters (0x2018): Parameters of the overflow\n"
         "Written: Motor Parameters (0x1000), Matching Parameters (0x2200), "
         "Application Parameters (0x1100), Current Loop Parameters (0x2000), "
         "Speed Loop Parameters (0x200C)\n"
         "Not written: Position Loop Parameters (0x2018), Control Word (0x6000)\n"
         "The drive now holds a mix of old and new values, and has not stored it."},
        {ListMode::Open, reg::kControlWord, 6, kDownloadWrites,
         "Control Word (0x6000): Unable to process command\n"
         "Written: Motor Parameters (0x1000), Matching Parameters (0x2200), "
         "Application Parameters (0x1100), Current Loop Parameters (0x2000), "
         "Speed Loop Parameters (0x200C), Position Loop Parameters (0x2018)\n"
         "Not written: Control Word (0x6000)\n"
         "The drive now holds the new values, and has not stored them."},
        {ListMode::Save, reg::kControlWord, 15, {"W 6000 2 04 01"},
         "Control Word (0x6000): Unknown Error"},
    };
    for (const auto& c : cases) {
        drive->ClearMisbehaviour();
        drive->ClearRequests();
        sink.shown.clear();
        state.Params = FileSet();
        drive->AnswerWithResult(c.nibble, c.at, 1);
        const DownloadResult r = DownloadFromListPage(link, plain, c.mode, false);
        EXPECT_FALSE(r.Completed);
        EXPECT_EQ(r.Error, DriveErrorFromNibble(c.nibble));
        EXPECT_EQ(r.FailedAt, c.at);
        EXPECT_EQ(Log(), c.log);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message}) << "no completion message";
    }
}

TEST_F(ParameterDriveTest, ASilentDriveStopsAtTheFirstRequest) {
    drive->SetSilent(true);
    state.Params = FileSet();
    DownloadResult r = DownloadFromListPage(link, plain, ListMode::Open, false);
    EXPECT_EQ(r.Error, kDeviceNoResponse);
    EXPECT_EQ(r.FailedAt, reg::kMotorGroup);
    EXPECT_EQ(Log(), std::vector<std::string>{"W 1000 16"});
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{"Motor Parameters (0x1000): Device no response"});

    // Looking first: the first read fails, nothing is written.
    drive->ClearRequests();
    sink.shown.clear();
    r = DownloadFromListPage(link, plain, ListMode::Open, true);
    EXPECT_EQ(r.Error, kDeviceNoResponse);
    EXPECT_FALSE(r.Completed);
    EXPECT_EQ(Log(), std::vector<std::string>{"R 1000 17"});
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{"Motor Parameters (0x1000): Device no response"});
    EXPECT_EQ(state.Params.Motor.PolePairs, 5);

    // The store and restore commands.
    sink.shown.clear();
    EXPECT_EQ(StoreParameters(link, sink), kDeviceNoResponse);
    EXPECT_EQ(RestoreDefaults(link, plain), kDeviceNoResponse);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(2, "Control Word (0x6000): Device no response"));

    // The save command's seven reads: each failure shown, all seven tried.
    sink.shown.clear();
    const SaveReads reads = ReadForSave(link, sink);
    EXPECT_EQ(reads.Failures.size(), 7u);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(7, "Device no response"));
}

TEST_F(ParameterDriveTest, LookBeforeYouWrite) {
    // The drive's Current Flag is set; the download's flags byte clears it, so it is listed.
    ASSERT_EQ(ReadGroup(link, ParamGroup::Application), kSuccess);
    state.Params.Application.CurrentFlag = 1;
    ASSERT_EQ(WriteApplicationGroup(link), kSuccess);
    ASSERT_EQ(ReadForSave(link, sink).AllRead(), true);
    ParameterSet file = state.Params;  // the drive's own values...
    file.Motor.PolePairs = 7;          // ...with one change
    state.Params = file;
    drive->ClearRequests();

    sink.answers = {false};
    DownloadResult r = DownloadFromListPage(link, plain, ListMode::Open, true);
    EXPECT_TRUE(r.Declined);
    EXPECT_EQ(Log(), kSixReads) << "declining writes nothing";
    ASSERT_EQ(r.Changes.size(), 2u);
    EXPECT_EQ(r.Changes[0].Name, "Pole Pairs");
    EXPECT_EQ(r.Changes[0].DriveValue, "4");
    EXPECT_EQ(r.Changes[0].FileValue, "7");
    EXPECT_EQ(r.Changes[1].Name, "Current Flag");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_TRUE(sink.shown[0].Question);
    EXPECT_EQ(sink.shown[0].Text,
              "Drive values the file changes:\nPole Pairs: drive 4, file 7\n"
              "Current Flag: drive 1, file 0\n\nDownload the file to the drive?");
    EXPECT_EQ(state.Params.Motor.PolePairs, 7) << "the set still holds the file";

    // A float that "%g" shows alike is told apart with more digits.
    file.Motor.PolePairs = 4;
    file.Loop.SpeedLoopP = 0.800000072f;
    state.Params = file;
    sink.shown.clear();
    r = DownloadFromListPage(link, plain, ListMode::Open, true);
    ASSERT_TRUE(r.Completed);
    ASSERT_EQ(r.Changes.size(), 2u);
    EXPECT_EQ(r.Changes[1].Name, "Speed Loop P");
    EXPECT_EQ(r.Changes[1].DriveValue, "0.800000012");
    EXPECT_EQ(r.Changes[1].FileValue, "0.800000072");

    // Now the drive holds the file: "no change".
    sink.shown.clear();
    r = DownloadFromListPage(link, plain, ListMode::Open, true);
    EXPECT_TRUE(r.Changes.empty());
    EXPECT_EQ(sink.shown[0].Text,
              "Drive values the file changes:\nno change\n\n"
              "Download the file to the drive?");
    EXPECT_EQ(sink.shown[1].Text, "Parameter download completed\xEF\xBC\x81\nverified");
}

TEST_F(ParameterDriveTest, LookingAtTheDriveKeepsTheResolutionOfTheSet) {
    // The set holds an opened file's resolution (1000 lines: 4000); the drive's motor block
    // says 2500 lines. Looking at the drive must leave the file's figure, whether the reads all
    // succeed or stop after the motor block.
    struct Case {
        const char* name;
        bool silenceMatching;
        DriveError expected;
    };
    for (const Case& c : {Case{"all read", false, kSuccess},
                          Case{"stops after the motor block", true, kDeviceNoResponse}}) {
        SCOPED_TRACE(c.name);
        drive->ClearMisbehaviour();
        if (c.silenceMatching) drive->SilenceAddress(reg::kMatchingGroup);
        state.Params = FileSet();
        state.CountsPerRev = 4000;
        ParameterSet seen;
        uint32_t driveCounts = 0;
        EXPECT_EQ(ReadDriveParameters(link, seen, &driveCounts), c.expected);
        EXPECT_EQ(state.CountsPerRev, 4000u);
        EXPECT_EQ(state.Params.Motor.EncoderLines, 1000);
        if (c.expected == kSuccess) {
            EXPECT_EQ(seen.Motor.EncoderLines, 2500);
            EXPECT_EQ(driveCounts, 10000u) << "the drive's own resolution is reported";
        }
    }
}

TEST_F(ParameterDriveTest, CheckAfterYouWriteReportsWhatTheDriveDidNotTake) {
    // A drive that puts its own Maximum Speed back right after the last gain block.
    drive->SetRequestObserver([this](const RecordedRequest& r) {
        if (r.Address != reg::kPositionLoopGains || r.Function != kFunctionWrite) return;
        drive->WithBehaviour([](DriveBehaviour& b) {
            uint8_t block[128];
            b.Read(reg::kApplicationGroup, 37, block);
            PutI32BE(block + 9, 1000);
            return b.Write(reg::kApplicationGroup, block, 37);
        });
    });
    state.Params = FileSet();
    const DownloadResult r = DownloadFromListPage(link, plain, ListMode::Open, false);
    EXPECT_TRUE(r.Completed);
    EXPECT_FALSE(r.Verify.Verified());
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>{
                  "Parameter download completed\xEF\xBC\x81\nThe drive did not take:\n"
                  "Maximum Speed: drive 1000, file 2000"});
    EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::Warning) << "a set not taken is no success";
    drive->SetRequestObserver(nullptr);

    // A read-back that fails says so.
    sink.shown.clear();
    drive->SetRequestObserver([this](const RecordedRequest& r) {
        if (r.Address == reg::kControlWord) drive->SilenceAddress(reg::kApplicationGroup);
    });
    const DownloadResult failed = DownloadFromListPage(link, plain, ListMode::Open, false);
    drive->SetRequestObserver(nullptr);
    EXPECT_TRUE(failed.Completed);
    EXPECT_EQ(failed.Verify.Error, kDeviceNoResponse);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Parameter download completed\xEF\xBC\x81\n"
                                                     "not verified: Device no response"});
    EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::Warning);
}

TEST_F(ParameterDriveTest, StoreAndRestoreDefaults) {
    state.Params = FileSet();
    ASSERT_EQ(WriteMotorGroup(link), kSuccess);
    EXPECT_EQ(StoreParameters(link, sink), kSuccess);
    EXPECT_EQ(Stored().Motor.PolePairs, 5);
    EXPECT_EQ(RestoreDefaults(link, plain), kSuccess);
    EXPECT_EQ(Stored().Motor.PolePairs, 4);
    EXPECT_EQ(Log(), (std::vector<std::string>{"W 1000 17", "W 6000 2 04 01", "W 6000 2 04 00"}));
    EXPECT_EQ(sink.Texts(),
              (std::vector<std::string>{"Parameter download completed\xEF\xBC\x81",
                                        "Parameter restoration completed\xEF\xBC\x81"}));

    // An error reply is a failure: its text, no completion message.
    sink.shown.clear();
    drive->AnswerWithResult(6, reg::kControlWord);
    EXPECT_EQ(StoreParameters(link, sink), DriveErrorFromNibble(6));
    EXPECT_EQ(RestoreDefaults(link, plain), DriveErrorFromNibble(6));
    EXPECT_EQ(sink.Texts(),
              std::vector<std::string>(2, "Control Word (0x6000): Unable to process command"));
}

TEST_F(ParameterDriveTest, SaveReadsGoOnAfterAFailure) {
    drive->SilenceAddress(reg::kDriveLimits);
    const SaveReads reads = ReadForSave(link, sink);
    ASSERT_EQ(reads.Failures.size(), 1u);
    EXPECT_EQ(reads.Failures[0].first, reg::kDriveLimits);
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 1000 17", "R 2200 7", "R 1100 37", "R 2122 24",
                                               "R 2000 12", "R 200C 12", "R 2018 12"}));
    EXPECT_EQ(state.Params.Loop.SpeedLoopP, 0.8f);
}

TEST_F(ParameterDriveTest, TheCustomBlockGoesBackByteForByte) {
    uint8_t pattern[100];
    for (int i = 0; i < 100; ++i) pattern[i] = static_cast<uint8_t>(i * 37 + 11);
    // The four checked values within their ranges: 4 = 20, 11 = 1000, 13 = 3000, 14 = 0.
    PutI32BE(pattern + 4 + 4 * 4, 20);
    PutI32BE(pattern + 4 + 4 * 11, 1000);
    PutI32BE(pattern + 4 + 4 * 13, 3000);
    PutI32BE(pattern + 4 + 4 * 14, 0);
    std::copy(pattern, pattern + 100, link.Payload());
    ASSERT_EQ(link.WriteRegister(reg::kCustomGroup, 100), kSuccess);
    drive->ClearRequests();

    const uint8_t r = EditCustomGroup(link, [this] {
        CustomPageEntries e = CustomEntriesFrom(state.Params);  // the dialog, unchanged
        return ValidateCustomPage(e, state.Params) ? uint8_t{0} : kPageAccepted;
    }, plain);
    EXPECT_EQ(r, 0) << "a good write returns 0";
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 3000 100", "W 3000 100"}));
    EXPECT_EQ(Data(1), HexBytes(pattern, 100));

    // Only flag 9 ticked: the flag bytes are 00 02 00 00.
    drive->ClearRequests();
    EditCustomGroup(link, [this] {
        CustomPageEntries e = CustomEntriesFrom(state.Params);
        e.Flags.fill(false);
        e.Flags[9] = true;
        ValidateCustomPage(e, state.Params);
        return kPageAccepted;
    }, plain);
    EXPECT_EQ(Data(1).substr(0, 11), "00 02 00 00");

    // Cancelled: nothing written. A failed read still shows the dialog.
    drive->ClearRequests();
    drive->SilenceNext(1);
    int shown = 0;
    EXPECT_EQ(EditCustomGroup(link,
                              [&] {
                                  ++shown;
                                  return kPageCancelled;
                              },
                              plain),
              kPageCancelled);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(Log(), std::vector<std::string>{"R 3000 100"});
}

TEST_F(ParameterDriveTest, TheNewChainRereadsEachPageAndKeepsEarlierWrites) {
    std::vector<uint8_t> script = {
        kPageAccepted,  // motor
        kPageBack,      // application -> motor again
        kPageAccepted,  // motor
        kPageAccepted,  // application
        kPageBack,      // loop -> application again
        kPageAccepted,  // application
        kPageAccepted,  // loop
        kPageBack,      // list -> loop again
        kPageCancelled  // loop: the chain ends
    };
    state.SpeedLimit = 6000;  // from the connection's read of 0x2122
    size_t next = 0;
    std::vector<std::string> pages;
    auto page = [&](const char* name) {
        return [&, name]() -> uint8_t {
            pages.push_back(name);
            if (std::string(name) == "motor") {
                MotorPageEntries e = MotorEntriesFrom(state.Params);
                e.PolePairs = "6";
                EXPECT_FALSE(ValidateMotorPage(e, state));
            }
            return next < script.size() ? script[next++] : kPageCancelled;
        };
    };
    RunNewChain(link, plain, {page("motor"), page("application"), page("loop"), page("list")});
    EXPECT_EQ(pages, (std::vector<std::string>{"motor", "application", "motor", "application",
                                               "loop", "application", "loop", "list", "loop"}));
    const std::vector<std::string> motor = {"R 1000 17", "R 2200 7"};
    const std::vector<std::string> app = {"R 1100 37", "R 2122 24"};
    const std::vector<std::string> loop = {"R 2000 12", "R 200C 12", "R 2018 12", "R 1100 37"};
    std::vector<std::string> expected;
    for (const auto& part :
         std::vector<std::vector<std::string>>{motor,
                                               {"W 1000 17"},
                                               app,
                                               motor,
                                               {"W 1000 17"},
                                               app,
                                               {"W 1100 37"},
                                               loop,
                                               app,
                                               {"W 1100 37"},
                                               loop,
                                               {"W 2000 12", "W 200C 12", "W 2018 12"},
                                               loop}) {
        expected = Join(expected, part);
    }
    EXPECT_EQ(Log(), expected);
    EXPECT_TRUE(sink.shown.empty());
    // Cancel on the last page undid nothing.
    std::vector<uint8_t> block(128);
    drive->WithBehaviour(
        [&](DriveBehaviour& b) { return b.Read(reg::kMotorGroup, 17, block.data()); });
    EXPECT_EQ(block[0], 6);

    // A read that fails ends the chain with its message and shows no page.
    drive->SetSilent(true);
    pages.clear();
    RunNewChain(link, plain, {page("motor"), page("application"), page("loop"), page("list")});
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Device no response"});
}

TEST_F(ParameterDriveTest, GroupRoutinesReturnTheDescribedCodes) {
    // Modify mode has no Back: a 3 counts as "other".
    EXPECT_EQ(EditMotorGroup(link, true, [] { return kPageBack; }, plain), 0);
    EXPECT_EQ(EditMotorGroup(link, false, [] { return kPageBack; }, plain), kPageBack);
    EXPECT_EQ(EditLoopGroup(link, true, [] { return uint8_t{7}; }, plain), 0);
    EXPECT_EQ(EditApplicationGroup(link, true, [] { return kPageAccepted; }, plain),
              kPageAccepted);
    // The read is answered with an error: the page is not shown.
    drive->AnswerWithResult(8, reg::kApplicationGroup, 1);
    bool shown = false;
    EXPECT_EQ(EditApplicationGroup(link, true,
                                   [&] {
                                       shown = true;
                                       return kPageAccepted;
                                   },
                                   plain),
              DriveErrorFromNibble(8));
    EXPECT_FALSE(shown);
    drive->AnswerWithResult(8, reg::kCustomGroup, 2);  // the read and the write
    EXPECT_EQ(EditCustomGroup(link, [] { return kPageAccepted; }, plain), DriveErrorFromNibble(8));
}

TEST(Preconditions, InTheirOrderPerCommand) {
    const struct {
        ParamCommand command;
        ConsoleFacts facts;
        const char* message;  // "" allowed
    } cases[] = {
        {ParamCommand::New, {false, true, true}, "The serial port is not open"},
        {ParamCommand::New, {true, true, true}, "The motor is enabled"},
        {ParamCommand::Save, {true, false, true}, "The device is busy"},
        {ParamCommand::Default, {true, false, false}, ""},
        {ParamCommand::Motor, {true, true, true}, ""},
        {ParamCommand::CustomParameters, {false, false, false}, "The serial port is not open"},
        {ParamCommand::LoopParameters, {true, true, false}, ""},
    };
    for (const auto& c : cases) {
        test::RecordingSink sink;
        EXPECT_EQ(ParamCommandAllowed(c.command, c.facts, sink), *c.message == 0);
        if (*c.message) {
            ASSERT_EQ(sink.shown.size(), 1u);
            EXPECT_EQ(sink.shown[0].Text, c.message);
            EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::None);
        } else {
            EXPECT_TRUE(sink.shown.empty());
        }
    }
}

TEST_F(ParameterDriveTest, ParamsSetReadsChecksAndWritesOnlyTheGroupsNamed) {
    std::string error;
    std::vector<Assignment> set = {*ParseAssignment("Pole Pairs=2.7", error),
                                   *ParseAssignment("Maximum Speed=1499.5", error)};
    SetResult r = SetFieldsOnDrive(link, plain, set);
    EXPECT_EQ(r.Outcome, SetResult::Status::Written);
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 1000 17", "R 2200 7", "R 1100 37", "R 2122 24",
                                               "W 1000 17", "W 1100 37"}));
    ASSERT_EQ(ReadGroup(link, ParamGroup::Application), kSuccess);
    bool found = false;
    for (const FieldLine& l : GroupFieldLines(state.Params, ParamGroup::Application)) {
        if (l.Name != "Maximum Speed") continue;
        found = true;
        EXPECT_EQ(l.Value, "1500");
        EXPECT_EQ(l.Unit, "RPM");
    }
    EXPECT_TRUE(found);
    // The other application fields went back as the drive had them.
    EXPECT_EQ(state.Params.Application.StopDeceleration, 5000);

    // Refused: the message, nothing written.
    drive->ClearRequests();
    sink.shown.clear();
    r = SetFieldsOnDrive(link, plain, {*ParseAssignment("Custom Value 13=3001", error)});
    EXPECT_EQ(r.Outcome, SetResult::Status::Refused);
    EXPECT_EQ(Log(), std::vector<std::string>{"R 3000 100"});
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::Error);
    EXPECT_EQ(
        sink.shown[0].Text,
        "Duty cycle number of duty cycle, transfinite number of exports\nallowed band 0 up to "
        "3000");

    // A custom block that cannot be read is not written back.
    drive->ClearRequests();
    sink.shown.clear();
    drive->SilenceNext(1);
    r = SetFieldsOnDrive(link, plain, {*ParseAssignment("Custom Value 13=5", error)});
    EXPECT_EQ(r.Outcome, SetResult::Status::Failed);
    EXPECT_EQ(r.Error, kDeviceNoResponse);
    EXPECT_EQ(Log(), std::vector<std::string>{"R 3000 100"});
}

}  // namespace
}  // namespace torvane

namespace torvane {
namespace {

// ---- backups before writes

std::string FileHex(const std::string& path) {
    const std::string bytes = test::Slurp(path);
    return HexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

class BackupDriveTest : public ParameterDriveTest {
protected:
    void SetUp() override {
        ParameterDriveTest::SetUp();
        // Nothing here waits out a time-out: room for a loaded machine's late replies.
        SetTimeScale(0.5);
    }
    // The drive's present set as a .dat image (a look that changes nothing), then a clean log.
    std::string DriveImage() {
        ParameterSet set;
        uint32_t counts = 0;
        EXPECT_EQ(ReadDriveParameters(link, set, &counts), kSuccess);
        const ParameterImage image = EncodeParameterImage(set, counts);
        drive->ClearRequests();
        return HexBytes(image.data(), image.size());
    }
    // The drive refuses the next write of `address` with `nibble`, once `after` (a write, or a
    // read when `afterRead`) has been handled: the reads before it go through.
    void RefuseWriteAfter(RegisterAddress after, RegisterAddress address, uint8_t nibble,
                          bool afterRead = false) {
        const uint8_t function = afterRead ? kFunctionRead : kFunctionWrite;
        drive->SetRequestObserver([=, this](const RecordedRequest& r) {
            if (r.Address != after || r.Function != function) return;
            drive->SetRequestObserver(nullptr);
            drive->AnswerWithResult(nibble, address, 1);
        });
    }
};

TEST_F(BackupDriveTest, EachKindOfWriteSavesTheDriveSetFirst) {
    state.ModelString = "KVD417";
    const struct Case {
        const char* name;
        std::function<void(DriveLink&, BackupGuard&)> write;
        std::vector<std::string> writes;  // what follows the six reads of the backup
    } cases[] = {
        {"motor page",
         [](DriveLink& l, BackupGuard& g) {
             EditMotorGroup(l, true, [] { return kPageAccepted; }, g);
         },
         {"W 1000 17"}},
        {"application page",
         [](DriveLink& l, BackupGuard& g) {
             EditApplicationGroup(l, true, [] { return kPageAccepted; }, g);
         },
         {"W 1100 37"}},
        {"loop page",
         [](DriveLink& l, BackupGuard& g) {
             EditLoopGroup(l, true, [] { return kPageAccepted; }, g);
         },
         {"W 2000 12", "W 200C 12", "W 2018 12"}},
        {"custom dialog",
         [](DriveLink& l, BackupGuard& g) {
             EditCustomGroup(l, [] { return kPageAccepted; }, g);
         },
         {"W 3000 100"}},
        {"params set",
         [](DriveLink& l, BackupGuard& g) {
             std::string e;
             SetFieldsOnDrive(l, g, {*ParseAssignment("Acceleration=900", e)});
         },
         {"W 1100 37"}},
        {"restore of defaults",
         [](DriveLink& l, BackupGuard& g) { RestoreDefaults(l, g); },
         {"W 6000 2 04 00"}},
        {"download without a look",
         [](DriveLink& l, BackupGuard& g) {
             l.State().Params = FileSet();
             DownloadFromListPage(l, g, ListMode::Open, false);
         },
         kDownloadWrites},
    };
    size_t made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A set of its own on the drive before each write, so each backup is told apart.
        state.Params = FileSet();
        state.Params.Application.Acceleration = static_cast<int32_t>(100 + made);
        ASSERT_EQ(WriteApplicationGroup(link), kSuccess);
        const std::string before = DriveImage();
        sink.shown.clear();
        c.write(link, backup);
        for (const test::Shown& shown : sink.shown) EXPECT_NE(shown.Icon, NoticeIcon::Error) << shown.Text;
        const std::vector<std::string> log = Log();
        // The reads of the group's page come before; the backup's six reads right before the
        // first write.
        const auto firstWrite = std::find_if(log.begin(), log.end(),
                                             [](const std::string& l) { return l[0] == 'W'; });
        ASSERT_GE(firstWrite - log.begin(), 6);
        ASSERT_GE(log.end() - firstWrite, static_cast<long>(c.writes.size()));
        EXPECT_EQ(std::vector<std::string>(firstWrite - 6, firstWrite), kSixReads);
        EXPECT_EQ(std::vector<std::string>(firstWrite, firstWrite + static_cast<long>(
                                                           c.writes.size())),
                  c.writes);
        ++made;
        const std::vector<BackupFile> files = ListBackups(backups.string());
        ASSERT_EQ(files.size(), made);
        EXPECT_EQ(files[0].Path, backup.LastBackup());
        EXPECT_EQ(files[0].Model, "KVD417");
        EXPECT_EQ(FileHex(files[0].Path), before) << "the set the write replaced";
    }
}

TEST_F(BackupDriveTest, TheDownloadBacksUpFromItsOwnLook) {
    // The model is not known yet: it is read once, to name the file.
    state.Params = FileSet();
    const std::string before = DriveImage();
    state.Params = FileSet();
    const DownloadResult r = DownloadFromListPage(link, backup, ListMode::Open, true);
    ASSERT_TRUE(r.Completed);
    // The drive's six blocks are read once before the writes (for the look and the backup
    // alike) and once after them (the check).
    EXPECT_EQ(Log(), Join(Join(Join({"R 2100 34"}, kSixReads), kDownloadWrites), kSixReads));
    ASSERT_EQ(BackupNames().size(), 1u);
    EXPECT_EQ(BackupNames()[0].rfind("KVD417-", 0), 0u) << BackupNames()[0];
    EXPECT_EQ(r.Backup, backup.LastBackup());
    EXPECT_EQ(FileHex(r.Backup), before);
}

TEST_F(BackupDriveTest, ABackupThatCannotBeWrittenWritesNothingUnlessTheUserSaysSo) {
    state.ModelString = "KVD417";
    // A folder that cannot be made: a file stands where its parent should be (also for root).
    const std::filesystem::path blocker = backups / "blocker";
    std::filesystem::create_directories(backups);
    { std::ofstream(blocker) << "x"; }
    const std::string folder = (blocker / "backups").string();
    const struct {
        WithoutBackup without;
        std::deque<bool> answers;
        bool written;
        bool question;
    } cases[] = {
        {WithoutBackup::Refuse, {}, false, false},
        {WithoutBackup::Ask, {false}, false, true},
        {WithoutBackup::Ask, {true}, true, true},
    };
    for (const auto& c : cases) {
        BackupGuard guard(sink, c.without);
        guard.SetFolder(folder);
        drive->ClearRequests();
        sink.shown.clear();
        sink.answers = c.answers;
        const uint8_t r = EditMotorGroup(link, true, [] { return kPageAccepted; }, guard);
        EXPECT_EQ(r, c.written ? kPageAccepted : kPageCancelled);
        std::vector<std::string> expected = Join({"R 1000 17", "R 2200 7"}, kSixReads);
        if (c.written) expected.push_back("W 1000 17");
        EXPECT_EQ(Log(), expected);
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_EQ(sink.shown[0].Question, c.question);
        const std::string& text = sink.shown[0].Text;
        EXPECT_NE(text.find(folder), std::string::npos) << text;
        EXPECT_EQ(text.rfind("The drive's parameters could not be backed up:\n", 0), 0u) << text;
        if (!c.question) {
            EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::Error);
            EXPECT_TRUE(guard.Refused());
        }
        EXPECT_TRUE(guard.LastBackup().empty());
    }
}

TEST_F(BackupDriveTest, APartWayDownloadNamesItsBackupWhichBringsTheSetBack) {
    state.ModelString = "KVD417";
    const std::string before = DriveImage();
    ParameterSet driveBefore;
    ASSERT_EQ(ReadDriveParameters(link, driveBefore), kSuccess);
    drive->ClearRequests();
    state.Params = FileSet();
    RefuseWriteAfter(reg::kMatchingGroup, reg::kApplicationGroup, 5);
    const DownloadResult r = DownloadFromListPage(link, backup, ListMode::Open, false);
    EXPECT_FALSE(r.Completed);
    ASSERT_FALSE(r.Backup.empty());
    EXPECT_EQ(FileHex(r.Backup), before);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].Icon, NoticeIcon::Error);
    EXPECT_EQ(sink.shown[0].Text,
              "Application Parameters (0x1100): Error Command value\n"
              "Written: Motor Parameters (0x1000), Matching Parameters (0x2200)\n"
              "Not written: Application Parameters (0x1100), Current Loop Parameters (0x2000), "
              "Speed Loop Parameters (0x200C), Position Loop Parameters (0x2018), "
              "Control Word (0x6000)\n"
              "The drive now holds a mix of old and new values, and has not stored it.\n"
              "The previous set is in " +
                  r.Backup + "; download that file to bring it back.");

    // Downloading the backup restores what the drive held.
    ASSERT_TRUE(LoadParameterFile(r.Backup, state).Ok);
    ASSERT_TRUE(DownloadFromListPage(link, plain, ListMode::Open, false).Completed);
    ParameterSet after;
    ASSERT_EQ(ReadDriveParameters(link, after), kSuccess);
    EXPECT_TRUE(DiffForDownload(after, driveBefore).empty());
}

TEST_F(BackupDriveTest, AGroupWriteThatStopsPartWaySaysSo) {
    state.ModelString = "KVD417";
    RefuseWriteAfter(reg::kCurrentLoopGains, reg::kSpeedLoopGains, 3);
    const uint8_t r = EditLoopGroup(link, true, [] { return kPageAccepted; }, backup);
    EXPECT_EQ(r, DriveErrorFromNibble(3));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].Text,
              "Speed Loop Parameters (0x200C): Error Parameter address\n"
              "Written: Current Loop Parameters (0x2000)\n"
              "Not written: Speed Loop Parameters (0x200C), Position Loop Parameters (0x2018)\n"
              "The drive now holds a mix of old and new values, and has not stored it.\n"
              "The previous set is in " +
                  backup.LastBackup() + "; download that file to bring it back.");
    // A single block that fails: only where it stopped.
    sink.shown.clear();
    RefuseWriteAfter(reg::kDriveLimits, reg::kApplicationGroup, 5, true);
    EditApplicationGroup(link, true, [] { return kPageAccepted; }, plain);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Application Parameters (0x1100): Error "
                                                     "Command value"});
}

}  // namespace
}  // namespace torvane
