// torvane-cli record as a user runs it: the real program against the simulated drive, whose live
// status is held at known values so that every byte of the file can be told; the time column by
// its form and its rise. Ctrl-C, a drive that goes away, failed reads and a file that cannot be
// written.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/register_map.h"
#include "sim/simulated_drive.h"
#include "support/cli_run.h"
#include "support/cli_sim_fixture.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

using test::Result;
using test::Slurp;

const char* const kHeader =
    "time_s,busbar_voltage_V,phase_current_A,current_speed_rpm,motor_position_P,"
    "output_axis_position_P,output_axis_angle_deg,motor_temperature_C,motor_state,fault_word";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The rows after the header, each split at its commas.
std::vector<std::vector<std::string>> Rows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    bool header = false;
    for (const std::string& line : Lines(text)) {
        if (line.rfind('#', 0) == 0) continue;
        if (!header) {
            header = true;
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

// Every row whole: ten fields, and the file ends with its last row's line break.
void ExpectWhole(const std::string& text) {
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    for (const auto& row : Rows(text)) EXPECT_EQ(row.size(), 10u);
}

class CliRecordTest : public test::CliOnSimulatedDrive {
protected:
    CliRecordTest() : CliOnSimulatedDrive("torvane-cli-record") {}

    void SetUp() override {
        CliOnSimulatedDrive::SetUp();
        // A drive at rest, enabled and running, with two faults and a negative position.
        sim::LiveStatus live;
        live.Temperature = 31;
        live.MotorState = 2;
        live.FaultWord = 0x0104;
        live.Speed = -1500;
        live.Position = -123456;
        live.PhaseCurrent = 1.25f;
        live.BusVoltage = 47.5f;
        drive->WithBehaviour([&](sim::DriveBehaviour& b) {
            b.HoldLive(live);
            return 0;
        });
    }

    std::string Command(const std::string& args) const {
        return std::string(TORVANE_CLI) + " --port " + drive->SlavePath() + " " + args;
    }
    Result Run(const std::string& args) const {
        return test::RunCommand(Command(args), dir);
    }
    // Starts the program in the background; its output goes to dir/out and dir/err.
    pid_t Start(const std::string& args) const {
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string cmd = "exec " + Command(args) + test::OutputTo(dir) + " </dev/null";
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
    // Waits until the file holds `rows` rows (false after about 10 s).
    bool WaitForRows(const fs::path& file, size_t rows) const {
        for (int i = 0; i < 400; ++i) {
            if (Rows(Slurp(file)).size() >= rows) return true;
            usleep(25000);
        }
        return false;
    }
    static Result Wait(pid_t pid, const fs::path& dir) {
        int raw = 0;
        if (waitpid(pid, &raw, 0) != pid) return {-1, "", "waitpid"};
        return test::Collect(raw, dir);
    }
};

TEST_F(CliRecordTest, TheFileRowByRowWithTheValuesStatusShows) {
    const fs::path file = dir / "live.csv";
    const Result r = Run("record " + file.string() + " --seconds 0.6 --ratio 10 --encoder 4096");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = Slurp(file);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "# Torvane live record");
    EXPECT_EQ(lines[1], "# model: KVD417");
    EXPECT_EQ(lines[2], "# port: " + drive->SlavePath());
    EXPECT_TRUE(std::regex_match(
        lines[3], std::regex(R"(# started: \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << lines[3];
    EXPECT_EQ(lines[4], "# period_ms: 50");
    EXPECT_EQ(lines[5], kHeader);
    ExpectWhole(text);

    // Position -123456 / ratio 10 = -12345 (cut toward zero); / 4096 x 360 = -1085.00977°.
    const std::string values = ",47.5,1.25,-1500,-123456,-12345,-1085.00977,31,2,260";
    const std::regex time(R"(\d+\.\d{3})");
    double last = -1;
    const auto rows = Rows(text);
    ASSERT_GE(rows.size(), 2u);
    // Never faster than a row every 50 ms: one poll a period at most.
    EXPECT_LE(rows.size(), 13u);
    for (size_t n = 0; n < rows.size(); ++n) {
        const std::string& t = lines[6 + n].substr(0, lines[6 + n].find(','));
        EXPECT_TRUE(std::regex_match(t, time)) << t;
        EXPECT_EQ(lines[6 + n].substr(t.size()), values);
        const double seconds = std::stod(t);
        if (n == 0) {
            EXPECT_EQ(t, "0.000");
        }
        EXPECT_GT(seconds, last) << "row " << n;
        EXPECT_GE(seconds + 1e-9, 0.05 * (static_cast<double>(n) - 1)) << "row " << n;
        last = seconds;
    }
    EXPECT_EQ(r.out, std::to_string(rows.size()) + " samples, 0 failed reads, in " +
                         file.string() + "\n");
    // The reads: the identification, then the long status (26 bytes for this model) alone.
    const auto log = drive->Requests();
    ASSERT_EQ(log.size(), rows.size() + 1);
    EXPECT_EQ(log[0].Address, reg::kIdentification);
    for (size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ(log[i].Address, reg::kLiveStatus);
        EXPECT_EQ(log[i].Count, 26);
    }

    // What `status` shows for the same drive, field for field.
    const Result status = Run("status");
    ASSERT_EQ(status.status, 0) << status.err;
    const std::vector<std::string>& row = rows[0];
    for (const auto& [name, column] : std::vector<std::pair<std::string, size_t>>{
             {"Busbar Voltage", 1},
             {"Phase Current Amplitude", 2},
             {"Current Speed", 3},
             {"Motor Position", 4},
             {"Motor Temperature", 7}}) {
        EXPECT_NE(status.out.find(name + ": " + row[column] + "\n"), std::string::npos)
            << name << "\n"
            << status.out;
    }
    EXPECT_NE(status.out.find("Fault Code: 0x0104\n"), std::string::npos) << status.out;
}

TEST_F(CliRecordTest, FailedReadsWriteNoRowAndAreCounted) {
    const fs::path file = dir / "live.csv";
    drive->AnswerWithResult(6, reg::kLiveStatus, 3);
    const Result r = Run("record " + file.string() + " --seconds 0.5");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t rows = Rows(Slurp(file)).size();
    EXPECT_EQ(drive->RequestCount(), rows + 3 + 1);
    EXPECT_EQ(r.out, std::to_string(rows) + " samples, 3 failed reads, in " + file.string() + "\n");
    ExpectWhole(Slurp(file));
}

TEST_F(CliRecordTest, CtrlCEndsItNormallyWithTheFileWhole) {
    const fs::path file = dir / "live.csv";
    const pid_t pid = Start("record " + file.string());
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForRows(file, 3));
    kill(pid, SIGINT);
    const Result r = Wait(pid, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string text = Slurp(file);
    ExpectWhole(text);
    EXPECT_EQ(r.out, std::to_string(Rows(text).size()) + " samples, 0 failed reads, in " +
                         file.string() + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliRecordTest, ALostDriveEndsWithStatusOneAndTheFileWhole) {
    const fs::path file = dir / "live.csv";
    const pid_t pid = Start("record " + file.string());
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForRows(file, 3));
    drive->HangUp();
    const Result r = Wait(pid, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Serial port lost"), std::string::npos) << r.err;
    const std::string text = Slurp(file);
    ExpectWhole(text);
    EXPECT_NE(r.out.find(std::to_string(Rows(text).size()) + " samples"), std::string::npos)
        << r.out;
}

TEST_F(CliRecordTest, AFileThatCannotBeWrittenIsNamed) {
    const fs::path file = dir / "no-such-folder" / "live.csv";
    const Result r = Run("record " + file.string() + " --seconds 0.2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot create " + file.string() + ": No such file or directory"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(CliRecordTest, UsageErrors) {
    for (const char* args : {"record", "record a.csv b.csv", "record a.csv --seconds",
                             "record a.csv --seconds soon", "record a.csv --seconds 0",
                             "record a.csv --ratio x", "record a.csv --speed 3"}) {
        EXPECT_EQ(Run(args).status, 2) << args;
    }
    EXPECT_EQ(drive->RequestCount(), 0u);
}

}  // namespace
}  // namespace torvane
