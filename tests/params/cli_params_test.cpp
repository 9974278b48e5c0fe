// torvane-cli's params command as a user runs it: the real program, a subprocess, against the
// simulated drive on a pseudo-terminal. What went to the drive comes from its request log.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "params/parameter_backup.h"
#include "params/parameter_file.h"
#include "params/parameter_image.h"
#include "protocol/drive_error.h"
#include "protocol/frame.h"
#include "sim/simulated_drive.h"
#include "support/cli_run.h"
#include "support/cli_sim_fixture.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

using test::Result;
using test::Slurp;

class CliParamsTest : public test::CliOnSimulatedDrive {
protected:
    CliParamsTest() : CliOnSimulatedDrive("torvane-cli-params") {}
    void SetUp() override {
        CliOnSimulatedDrive::SetUp();
        dataHome = dir / "data";
    }
    fs::path dataHome;

    // The program's data folder is the test's: its backups go to Backups().
    std::string Command(const std::string& args) const {
        return "XDG_DATA_HOME=" + dataHome.string() + " " + std::string(TORVANE_CLI) +
               " --port " + drive->SlavePath() + " " + args + test::OutputTo(dir);
    }
    fs::path Backups() const { return dataHome / "torvane" / "backups"; }
    // The path the program named after "backup of the drive's set: ".
    static std::string BackupNamed(const std::string& out) {
        const std::string lead = "backup of the drive's set: ";
        const size_t at = out.find(lead);
        if (at == std::string::npos) return {};
        const size_t end = out.find('\n', at);
        return out.substr(at + lead.size(), end - at - lead.size());
    }
    Result Collect(int raw) const { return test::Collect(raw, dir); }
    // Standard input is not a terminal.
    Result Run(const std::string& args) const {
        return Collect(std::system((Command(args) + " </dev/null").c_str()));
    }
    // Standard input is a terminal on which `typed` has been typed.
    Result RunOnTerminal(const std::string& args, const std::string& typed) const {
        int master = -1;
        int slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-1, "", "openpty"};
        const pid_t child = fork();
        if (child == 0) {
            dup2(slave, STDIN_FILENO);
            close(master);
            close(slave);
            execl("/bin/sh", "sh", "-c", Command(args).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(slave);
        const ssize_t written = write(master, typed.data(), typed.size());
        (void)written;
        int raw = 0;
        waitpid(child, &raw, 0);
        close(master);
        return Collect(raw);
    }

    // "R 1000 17", "W 6000 2": every request the drive received.
    std::vector<std::string> Log() const {
        std::vector<std::string> out;
        for (const auto& r : drive->Requests()) {
            char line[32];
            std::snprintf(line, sizeof line, "%c %04X %u", r.Function == kFunctionRead ? 'R' : 'W',
                          r.Address, r.Count);
            out.push_back(line);
        }
        return out;
    }
    std::vector<std::string> Writes() const {
        std::vector<std::string> out;
        for (const std::string& l : Log()) {
            if (l[0] == 'W') out.push_back(l);
        }
        return out;
    }
    std::string WriteData(RegisterAddress address) const {
        std::string hex;
        for (const auto& r : drive->Requests()) {
            if (r.Function == kFunctionWrite && r.Address == address)
                hex = HexBytes(r.Bytes.data() + kDataOffset, r.Count);
        }
        return hex;
    }
    sim::DriveParameters DriveParams() const {
        return drive->WithBehaviour([](sim::DriveBehaviour& b) { return b.Registers().Params; });
    }
    // A file holding the drive's factory set with one change.
    std::string FileWithPolePairs(uint8_t polePairs) const {
        DriveState s;
        const sim::DriveParameters p = DriveParams();
        s.Params.Motor = p.Motor;
        s.Params.Application = p.Application;
        s.Params.Loop = p.Loop;
        s.Params.Matching =
            drive->WithBehaviour([](sim::DriveBehaviour& b) { return b.Registers().Matching; });
        s.Params.Motor.PolePairs = polePairs;
        s.CountsPerRev = 10000;
        const std::string path = (dir / "file.dat").string();
        EXPECT_TRUE(SaveParameterFile(path, s).Ok);
        return path;
    }
};

const std::vector<std::string> kSixReads = {"R 1000 17", "R 2200 7",  "R 1100 37",
                                            "R 2000 12", "R 200C 12", "R 2018 12"};
const std::vector<std::string> kSixWrites = {"W 1000 16", "W 2200 7",  "W 1100 33",
                                             "W 2000 12", "W 200C 12", "W 2018 12"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST_F(CliParamsTest, UsageErrorsExitWith2AndTouchNoDrive) {
    const char* cases[] = {
        "params",
        "params frobnicate",
        "params show",
        "params show a.dat b.dat",
        "params store now",
        "params get nosuch",
        "params store --yes",
        "params set",
        "params set Frobs=1",
        "params set PolePairs",
        "params set \"Match Marks=1\"",  // read-only on the drive's pages
        "params download x.dat",         // no terminal to ask on and no --yes
    };
    for (const char* args : cases) {
        const Result r = Run(args);
        EXPECT_TRUE(test::IsUsageError(r)) << args;
    }
    EXPECT_EQ(drive->RequestCount(), 0u);
    EXPECT_NE(Run("params download x.dat").err.find("add --yes"), std::string::npos);
}

TEST_F(CliParamsTest, ShowPrintsTheListRowsWithoutAPort) {
    const std::string path = FileWithPolePairs(7);
    // No --port: show works on the file alone.
    const std::string cmd = std::string(TORVANE_CLI) + " params show " + path + " >" +
                            (dir / "out").string() + " 2>" + (dir / "err").string();
    const Result r = Collect(std::system(cmd.c_str()));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 37u);
    EXPECT_EQ(lines[0], "Motor Parameters");
    EXPECT_EQ(lines[1], "Pole Pairs：7");
    EXPECT_EQ(lines[3], "Number of encoder lines：2500");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[20], "Acceleration ：1000");
    EXPECT_EQ(lines[36], "Position D：0");

    for (size_t size : {0u, 95u, 97u}) {
        const fs::path bad = dir / "bad.dat";
        std::ofstream(bad, std::ios::binary | std::ios::trunc) << std::string(size, 'x');
        const Result b = Run("params show " + bad.string());
        EXPECT_EQ(b.status, 1);
        EXPECT_NE(b.err.find("holds " + std::to_string(size) + " bytes"), std::string::npos)
            << b.err;
        EXPECT_EQ(b.out, "");
    }
}

TEST_F(CliParamsTest, SaveWritesTheDrivesSetWithItsResolution) {
    const fs::path path = dir / "saved.dat";
    const Result r = Run("params save " + path.string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "96 bytes written to " + path.string() + "\n");
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 1000 17", "R 2200 7", "R 1100 37", "R 2122 24",
                                               "R 2000 12", "R 200C 12", "R 2018 12"}));
    DriveState saved;
    ASSERT_TRUE(LoadParameterFile(path.string(), saved).Ok);
    EXPECT_EQ(saved.Params.Motor.PolePairs, 4);
    EXPECT_EQ(saved.Params.Application.MaximumSpeed, 2500);
    EXPECT_EQ(saved.Params.Loop.SpeedLoopP, 0.8f);
    // Encoder lines x 4, not the 1 a fresh process starts with.
    EXPECT_EQ(saved.CountsPerRev, 10000u);
    EXPECT_EQ(fs::file_size(path), 96u);

    // A block that cannot be read: no file, rather than one with stale values.
    drive->ClearRequests();
    drive->AnswerWithResult(1, RegisterAddress{0x2122});
    const fs::path second = dir / "second.dat";
    const Result f = Run("params save " + second.string());
    EXPECT_EQ(f.status, 1);
    EXPECT_EQ(Log().size(), 7u);  // the reads go on after a failure, as the console's do
    EXPECT_FALSE(fs::exists(second));
    EXPECT_NE(f.err.find(DriveErrorText(0xF1)), std::string::npos) << f.err;
    EXPECT_NE(f.err.find("nothing written"), std::string::npos) << f.err;
}

TEST_F(CliParamsTest, DiffListsWhatDiffersAndExits0) {
    const std::string path = FileWithPolePairs(7);
    Result r = Run("params diff " + path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Pole Pairs: drive 4, file 7\n");
    EXPECT_EQ(Log(), kSixReads);
    const std::string same = FileWithPolePairs(4);
    r = Run("params diff " + same);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "no change\n");
    EXPECT_TRUE(Writes().empty());
}

TEST_F(CliParamsTest, DownloadWithYesWritesStoresAndVerifies) {
    const std::string path = FileWithPolePairs(7);
    const Result r = Run("params download " + path + " --yes");
    EXPECT_EQ(r.status, 0) << r.err;
    // The model (it names the backup), the drive's set once (the backup), the writes, the
    // check.
    EXPECT_EQ(Log(), Join({{"R 2100 34"}, kSixReads, kSixWrites, {"W 6000 2"}, kSixReads}));
    EXPECT_EQ(WriteData(0x6000), "04 01");
    EXPECT_EQ(WriteData(0x1000).substr(0, 2), "07");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(DriveParams().Motor.PolePairs, 7);
    // The backup holds the set the download replaced: 4 pole pairs.
    const std::string backup = BackupNamed(r.out);
    ASSERT_FALSE(backup.empty()) << r.out;
    EXPECT_EQ(r.out, "Parameter download completed！\nverified\nbackup of the drive's set: " +
                         backup + "\n");
    EXPECT_EQ(fs::path(backup).parent_path(), Backups());
    EXPECT_EQ(fs::path(backup).filename().string().rfind("KVD417-", 0), 0u) << backup;
    DriveState saved;
    ASSERT_TRUE(LoadParameterFile(backup, saved).Ok);
    EXPECT_EQ(saved.Params.Motor.PolePairs, 4);
    EXPECT_EQ(saved.CountsPerRev, 10000u);
}

TEST_F(CliParamsTest, DownloadStopsAtAnErrorReplyWithExit1) {
    const std::string path = FileWithPolePairs(7);
    // The write of the application block is refused (its read for the backup went through).
    drive->SetRequestObserver([this](const sim::RecordedRequest& q) {
        if (q.Function != kFunctionWrite || q.Address != 0x2200) return;
        drive->SetRequestObserver(nullptr);
        drive->AnswerWithResult(3, RegisterAddress{0x1100}, 1);
    });
    const Result r = Run("params download " + path + " --yes");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Writes(), (std::vector<std::string>{"W 1000 16", "W 2200 7", "W 1100 33"}));
    const auto files = ListBackups(Backups().string());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(r.err,
              "Application Parameters (0x1100): " + std::string(DriveErrorText(0xF3)) +
                  "\nWritten: Motor Parameters (0x1000), Matching Parameters (0x2200)\n"
                  "Not written: Application Parameters (0x1100), Current Loop Parameters "
                  "(0x2000), Speed Loop Parameters (0x200C), Position Loop Parameters (0x2018), "
                  "Control Word (0x6000)\n"
                  "The drive now holds a mix of old and new values, and has not stored it.\n"
                  "The previous set is in " +
                  files[0].Path + "; download that file to bring it back.\n");
}

TEST_F(CliParamsTest, DownloadAsksOnTheTerminal) {
    const std::string path = FileWithPolePairs(7);
    Result r = RunOnTerminal("params download " + path, "no\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Log(), Join({{"R 2100 34"}, kSixReads}));
    EXPECT_FALSE(fs::exists(Backups())) << "declined: no backup either";
    EXPECT_NE(r.err.find("Drive values the file changes:\nPole Pairs: drive 4, file 7\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;

    drive->ClearRequests();
    r = RunOnTerminal("params download " + path, "ok\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Log(), Join({{"R 2100 34"}, kSixReads, kSixWrites, {"W 6000 2"}, kSixReads}));
    EXPECT_EQ(DriveParams().Motor.PolePairs, 7);
}

TEST_F(CliParamsTest, StoreAndDefaults) {
    Result r = Run("params store");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Parameter download completed！\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WriteData(0x6000), "04 01");
    r = Run("params defaults");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WriteData(0x6000), "04 00");
    EXPECT_TRUE(fs::exists(BackupNamed(r.out))) << r.out;
    EXPECT_EQ(r.out, "Parameter restoration completed！\nbackup of the drive's set: " +
                         BackupNamed(r.out) + "\n");
    // An error reply is a failure, told once, with where it stopped.
    drive->AnswerWithResult(2, RegisterAddress{0x6000});
    r = Run("params store");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Control Word (0x6000): " + std::string(DriveErrorText(0xF2)) + "\n");
}

TEST_F(CliParamsTest, BackupsAreListedNewestFirst) {
    Result r = Run("params backups");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "no backups in " + Backups().string() + "\n");
    std::vector<std::string> made;
    for (int i = 0; i < 2; ++i) {
        r = Run("params defaults");
        ASSERT_EQ(r.status, 0) << r.err;
        made.push_back(BackupNamed(r.out));
    }
    EXPECT_NE(made[0], made[1]) << "two in one second are told apart";
    r = Run("params backups");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::regex line(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)  KVD417  (.*))");
    std::vector<std::string> listed;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        listed.push_back(m[2]);
    }
    EXPECT_EQ(listed, (std::vector<std::string>{made[1], made[0]}));
}

TEST_F(CliParamsTest, NoBackupNoWriteUnlessNoBackupIsGiven) {
    // The data folder is a file: no backup folder can be made in it.
    fs::create_directories(dataHome.parent_path());
    { std::ofstream(dataHome) << "x"; }
    Result r = Run("params set \"Pole Pairs=6\"");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Writes().empty());
    EXPECT_NE(r.err.find("The drive's parameters could not be backed up:\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(Backups().string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--no-backup"), std::string::npos) << r.err;
    for (const char* args : {"params defaults", "params download FILE --yes"}) {
        drive->ClearRequests();
        std::string a = args;
        if (a.find("FILE") != std::string::npos) a.replace(a.find("FILE"), 4, FileWithPolePairs(6));
        r = Run(a);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(Writes().empty()) << args;
    }

    drive->ClearRequests();
    r = Run("params set \"Pole Pairs=6\" --no-backup");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Pole Pairs: 6\n");
    // No backup is tried: none of its reads.
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 1000 17", "R 2200 7", "W 1000 17"}));
    EXPECT_EQ(DriveParams().Motor.PolePairs, 6);
    EXPECT_EQ(Run("params get motor --no-backup").status, 2);
}

TEST_F(CliParamsTest, GetPrintsFieldsByName) {
    Result r = Run("params get motor");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Pole Pairs: 4 pairs\nFeedback Type: 1\nEncoder Lines: 2500 lines\n"
              "Rated Current: 5 A\nLocked-rotor Current: 15 A\nRated Rotor Speed: 3000 RPM\n"
              "Motor Hall Sequence: 1\n");
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 1000 17", "R 2200 7"}));
    drive->ClearRequests();
    r = Run("params get");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Motor Parameters\n  Pole Pairs: 4 pairs\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nCustom Parameters\n  Custom Flag 0: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  Custom Value 23: "), std::string::npos) << r.out;
    EXPECT_EQ(Log(), (std::vector<std::string>{"R 1000 17", "R 2200 7", "R 1100 37", "R 2122 24",
                                               "R 2000 12", "R 200C 12", "R 2018 12", "R 1100 37",
                                               "R 3000 100"}));
}

TEST_F(CliParamsTest, SetChangesNamedFieldsWithThePagesChecks) {
    Result r = Run("params set \"Pole Pairs=7\" \"Maximum Speed=1499.5\"");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "backup of the drive's set: " + BackupNamed(r.out) +
                         "\nPole Pairs: 7\nMaximum Speed: 1500\n");
    // The groups' reads, the backup (model and set), the writes.
    EXPECT_EQ(Log(), Join({{"R 1000 17", "R 2200 7", "R 1100 37", "R 2122 24", "R 2100 34"},
                           kSixReads,
                           {"W 1000 17", "W 1100 37"}}));
    EXPECT_EQ(DriveParams().Motor.PolePairs, 7);
    EXPECT_EQ(DriveParams().Application.MaximumSpeed, 1500);
    // Everything else of the groups went back as it was read.
    EXPECT_EQ(DriveParams().Application.Acceleration, 1000);

    drive->ClearRequests();
    r = Run("params set \"Pole Pairs=40.5\"");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "pole pairs，input overrun\nallowed band 0 up to 40\n");
    EXPECT_TRUE(Writes().empty());

    // Rated Rotor Speed is checked against the drive's limit in rpm: 6000 with the drive's
    // 2500-line encoder.
    drive->ClearRequests();
    r = Run("params set \"Rated Rotor Speed=6001\"");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Mechanical speed，input overrun\nallowed band 0 up to 6000\n");
    EXPECT_TRUE(Writes().empty());
    r = Run("params set \"Rated Rotor Speed=6000\"");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DriveParams().Motor.RatedRotorSpeed, 6000);

    // A custom value by its dialog label; the block goes back whole.
    drive->ClearRequests();
    r = Run("params set \"Brake Start Duty Cycle Parameters=3000\"");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Log(), Join({{"R 3000 100", "R 2100 34"}, kSixReads, {"W 3000 100"}}));
    r = Run("params set \"Brake Start Duty Cycle Parameters=3001\"");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace torvane
