// Parameter files in a real temporary folder: whole files only, refusals that leave the set as
// it was, and saves that never leave a truncated file behind. Built for Windows too (run under
// wine), where the system's reasons are worded differently and POSIX modes and links are left out.
#include "params/parameter_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace torvane {
namespace {

namespace fs = std::filesystem;

// `message` is `prefix` followed by the system's reason: `posixReason` exactly on POSIX, any
// reason on Windows.
void ExpectSaysWhy(const std::string& message, const std::string& prefix,
                   const std::string& posixReason) {
#ifdef _WIN32
    (void)posixReason;
    EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
    EXPECT_GT(message.size(), prefix.size()) << message;
#else
    EXPECT_EQ(message, prefix + posixReason);
#endif
}

class ParameterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = (fs::temp_directory_path() / ("torvane-params-" + std::to_string(stamp)))
                  .generic_string();
        ASSERT_TRUE(fs::create_directory(dir));
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    std::vector<uint8_t> ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Entries(const std::string& folder) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static DriveState SomeState() {
        DriveState s;
        s.Params.Motor.PolePairs = 4;
        s.Params.Motor.EncoderLines = 2500;
        s.Params.Loop.PositionLoopD = 0.75f;
        s.Params.Application.MotorDirection = 1;
        s.CountsPerRev = 10000;
        return s;
    }
    std::string dir;
};

TEST_F(ParameterFileTest, SaveAndLoadRoundTrip) {
    const std::string path = Path("Application1.dat");
    const DriveState saved = SomeState();
    ASSERT_TRUE(SaveParameterFile(path, saved).Ok);
    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 96u);
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(bytes[48], 1);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Application1.dat"}) << "no temporary left";

    DriveState loaded;
    loaded.Params.Motor.MotorHallSequence = 3;  // not in the file: stays
    const FileResult r = LoadParameterFile(path, loaded);
    ASSERT_TRUE(r.Ok) << r.Message;
    EXPECT_EQ(loaded.Params.Motor.PolePairs, 4);
    EXPECT_EQ(loaded.Params.Loop.PositionLoopD, 0.75f);
    EXPECT_EQ(loaded.CountsPerRev, 10000u);
    EXPECT_EQ(loaded.Params.Motor.MotorHallSequence, 3);

    // Saving over an existing file replaces it whole (and keeps its permissions).
#ifndef _WIN32
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
#endif
    DriveState other = saved;
    other.Params.Motor.PolePairs = 9;
    ASSERT_TRUE(SaveParameterFile(path, other).Ok);
    EXPECT_EQ(ReadBytes(path)[0], 9);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Application1.dat"});
#ifndef _WIN32
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
}

#ifndef _WIN32
TEST_F(ParameterFileTest, SavingThroughASymbolicLinkReplacesTheFileItNames) {
    WriteBytes(Path("real.dat"), std::vector<uint8_t>(96, 0));
    ASSERT_EQ(symlink("real.dat", Path("link.dat").c_str()), 0);
    ASSERT_TRUE(SaveParameterFile(Path("link.dat"), SomeState()).Ok);
    struct stat st {};
    ASSERT_EQ(lstat(Path("link.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(ReadBytes(Path("real.dat"))[0], 4);
}
#endif

TEST_F(ParameterFileTest, FilesThatAreNotNinetySixBytesAreRefused) {
    const struct {
        size_t size;
        const char* says;
    } cases[] = {{0, "0 bytes"}, {95, "95 bytes"}, {97, "97 bytes"}, {4096, "4096 bytes"}};
    for (const auto& c : cases) {
        const std::string path = Path("wrong" + std::to_string(c.size) + ".dat");
        WriteBytes(path, std::vector<uint8_t>(c.size, 0x11));
        DriveState s = SomeState();
        ParameterImage image{};
        image.fill(0x5A);
        const FileResult r = ReadParameterFile(path, image);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Message, "\"" + path + "\" is not a parameter file: it holds " + c.says +
                                 ", a parameter file holds exactly 96 bytes.");
        EXPECT_EQ(image[0], 0x5A) << "the image stays as it was";
        EXPECT_FALSE(LoadParameterFile(path, s).Ok);
        EXPECT_EQ(s.Params.Motor.PolePairs, 4) << "the set stays as it was";
        EXPECT_EQ(s.CountsPerRev, 10000u);
    }
}

TEST_F(ParameterFileTest, UnreadableFilesSayWhy) {
    DriveState s = SomeState();
    FileResult r = LoadParameterFile(Path("missing.dat"), s);
    EXPECT_FALSE(r.Ok);
    ExpectSaysWhy(r.Message, "Cannot open \"" + Path("missing.dat") + "\": ",
                  "No such file or directory");
    r = LoadParameterFile(dir, s);
    EXPECT_FALSE(r.Ok);
#ifdef _WIN32
    ExpectSaysWhy(r.Message, "Cannot open \"" + dir + "\": ", "");
#else
    EXPECT_EQ(r.Message, "Cannot read \"" + dir + "\": Is a directory");
#endif
    EXPECT_EQ(s.Params.Motor.PolePairs, 4);
}

TEST_F(ParameterFileTest, AFailedSaveSaysWhyAndLeavesNoFileBehind) {
    const DriveState s = SomeState();
    // A folder that does not exist, and one whose "folder" is a file.
    FileResult r = SaveParameterFile(Path("nowhere/x.dat"), s);
    EXPECT_FALSE(r.Ok);
    ExpectSaysWhy(r.Message, "Cannot save \"" + Path("nowhere/x.dat") + "\": ",
                  "No such file or directory");
    WriteBytes(Path("plain"), {1});
    r = SaveParameterFile(Path("plain/x.dat"), s);
    EXPECT_FALSE(r.Ok);
    ExpectSaysWhy(r.Message, "Cannot save \"" + Path("plain/x.dat") + "\": ", "Not a directory");

    // The rename fails at the very end (the target is a folder): the old target is untouched
    // and the temporary file is gone.
    ASSERT_TRUE(fs::create_directory(Path("taken.dat")));
    r = SaveParameterFile(Path("taken.dat"), s);
    EXPECT_FALSE(r.Ok);
    ExpectSaysWhy(r.Message, "Cannot save \"" + Path("taken.dat") + "\": ", "Is a directory");
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"plain", "taken.dat"}));
}

#ifndef _WIN32
TEST_F(ParameterFileTest, AnUnwritableFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write into any folder";
    const std::string path = Path("kept.dat");
    WriteBytes(path, std::vector<uint8_t>(96, 0x22));
    ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
    const FileResult r = SaveParameterFile(path, SomeState());
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "Cannot save \"" + path + "\": Permission denied");
    chmod(dir.c_str(), 0700);
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>(96, 0x22)) << "the old file is whole";
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"kept.dat"});
}

TEST_F(ParameterFileTest, AFolderNobodyMayCreateFilesIn) {
    // /proc refuses new files even to root.
    const FileResult r = SaveParameterFile("/proc/torvane-test.dat", SomeState());
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message.rfind("Cannot save \"/proc/torvane-test.dat\": ", 0), 0u) << r.Message;
}
#endif

}  // namespace
}  // namespace torvane
