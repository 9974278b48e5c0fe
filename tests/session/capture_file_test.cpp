// The console's capture file: its name from the local time, its one line, and a file that
// cannot be written reported with its name and the system's reason. Real files in a scratch
// folder.
#include "session/capture_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace torvane {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class CaptureFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("torvane-capture-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST(CaptureFileName, IsTheLocalMinute) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 15;
    t.tm_min = 30;
    t.tm_sec = 59;
    t.tm_isdst = -1;
    EXPECT_EQ(CaptureFileName(std::mktime(&t)), "TestData202612091530.txt");
    t.tm_mon = 0;
    t.tm_mday = 2;
    t.tm_hour = 3;
    t.tm_min = 4;
    t.tm_sec = 0;
    EXPECT_EQ(CaptureFileName(std::mktime(&t)), "TestData202601020304.txt");
}

TEST_F(CaptureFile, WritesTheLineOverWhatTheFileHeld) {
    const fs::path path = dir / "TestData202612091530.txt";
    std::ofstream(path, std::ios::binary) << "an older and longer content\r\n";
    EXPECT_EQ(WriteCaptureFile(path.string()), std::nullopt);
    EXPECT_EQ(Contents(path), "111111\r\n");
}

TEST_F(CaptureFile, AFileThatCannotBeWrittenIsNamedWithTheReason) {
    fs::create_directories(dir / "folder in the way");
    const struct {
        const char* kind;
        std::string path;
        std::string message;  // its first line; the system's reason follows
    } cases[] = {
        {"a folder of its name", (dir / "folder in the way").string(), "Cannot open the file "},
        {"no such folder", (dir / "missing" / "TestData.txt").string(), "Cannot open the file "},
#ifdef __linux__
        // Opens, and loses its line when it is flushed at the close.
        {"a full disk", "/dev/full", "Cannot write the file "},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::optional<std::string> error = WriteCaptureFile(c.path);
        ASSERT_TRUE(error.has_value());
        const std::string first = c.message + c.path + "\n";
        EXPECT_EQ(error->substr(0, first.size()), first);
        EXPECT_GT(error->size(), first.size());  // the reason
    }
}

}  // namespace
}  // namespace torvane
