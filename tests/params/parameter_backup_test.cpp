// The backup files without a drive: where they go, how they are named, listed and rotated, and
// a folder that cannot be made. Real files in a temporary folder (also under wine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "params/parameter_backup.h"
#include "params/parameter_file.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

// A local time, whatever the zone.
std::time_t At(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

class BackupFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / (std::string("torvane-backup-files-") + info->name());
        fs::remove_all(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const BackupFile& f : ListBackups(folder.string()))
            out.push_back(fs::path(f.Path).filename().string());
        return out;
    }
    fs::path folder;
};

TEST(BackupNames, ModelAndLocalTime) {
    const std::time_t t = At(2026, 12, 9, 15, 30, 7);
    const struct {
        const char* model;
        int n;
        const char* name;
    } cases[] = {
        {"KVD417", 1, "KVD417-20261209-153007.dat"},
        {"KVD417", 2, "KVD417-20261209-153007-2.dat"},
        {"", 1, "drive-20261209-153007.dat"},
        {"A/B C:\\d", 1, "A_B_C__d-20261209-153007.dat"},
        {"..", 1, "_.-20261209-153007.dat"},
        {"v1.2", 1, "v1.2-20261209-153007.dat"},
    };
    for (const auto& c : cases) EXPECT_EQ(BackupFileName(c.model, t, c.n), c.name) << c.model;
}

#ifndef _WIN32
TEST(BackupFolder, FromTheEnvironment) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string data = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    const struct {
        const char* xdg;  // nullptr: unset
        const char* home;
        const char* folder;
    } cases[] = {
        {"/srv/data", "/home/u", "/srv/data/torvane/backups"},
        {nullptr, "/home/u", "/home/u/.local/share/torvane/backups"},
        {"", "/home/u", "/home/u/.local/share/torvane/backups"},
        {"relative/data", "/home/u", "/home/u/.local/share/torvane/backups"},
        {nullptr, "", ""},
    };
    for (const auto& c : cases) {
        if (c.xdg) {
            setenv("XDG_DATA_HOME", c.xdg, 1);
        } else {
            unsetenv("XDG_DATA_HOME");
        }
        setenv("HOME", c.home, 1);
        EXPECT_EQ(DefaultBackupFolder(), c.folder) << (c.xdg ? c.xdg : "(unset)");
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
}
#else
TEST(BackupFolder, FromTheEnvironment) {
    const std::string kept = std::getenv("LOCALAPPDATA") ? std::getenv("LOCALAPPDATA") : "";
    _putenv_s("LOCALAPPDATA", "C:\\Users\\u\\AppData\\Local");
    EXPECT_EQ(DefaultBackupFolder(), "C:\\Users\\u\\AppData\\Local\\Torvane\\backups");
    _putenv_s("LOCALAPPDATA", kept.c_str());
}
#endif

TEST_F(BackupFilesTest, WrittenWholeNamedUniquelyAndListedNewestFirst) {
    ParameterImage image{};
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i);
    const std::time_t t = At(2026, 1, 2, 3, 4, 5);
    std::vector<std::string> paths;
    for (std::time_t when : {t, t, t + 1, t}) {
        const BackupResult r = WriteBackup(folder.string(), "KVD417", image, when);
        ASSERT_TRUE(r.Ok) << r.Message;
        paths.push_back(fs::path(r.Path).filename().string());
    }
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "KVD417-20260102-030405.dat", "KVD417-20260102-030405-2.dat",
                         "KVD417-20260102-030406.dat", "KVD417-20260102-030405-3.dat"}));
    // Files of other names are neither listed nor touched.
    std::ofstream(folder / "notes.txt") << "mine";
    std::ofstream(folder / "set.dat") << "mine";
    EXPECT_EQ(Names(), (std::vector<std::string>{
                           "KVD417-20260102-030406.dat", "KVD417-20260102-030405-3.dat",
                           "KVD417-20260102-030405-2.dat", "KVD417-20260102-030405.dat"}));
    const std::vector<BackupFile> files = ListBackups(folder.string());
    EXPECT_EQ(files[0].Time, "2026-01-02 03:04:06");
    EXPECT_EQ(files[0].Model, "KVD417");
    ParameterImage back{};
    ASSERT_TRUE(ReadParameterFile(files[0].Path, back).Ok);
    EXPECT_EQ(back, image);
}

TEST_F(BackupFilesTest, TheNewestHundredAreKept) {
    const ParameterImage image{};
    const std::time_t t = At(2026, 3, 1, 12, 0, 0);
    // Written out of order: the times in the names decide, not the order of writing.
    for (int i = 104; i >= 0; --i) {
        ASSERT_TRUE(WriteBackup(folder.string(), i % 2 ? "A" : "B", image, t + 60 * i).Ok);
        if (i == 50) std::ofstream(folder / "keep.txt") << "mine";
    }
    const std::vector<std::string> names = Names();
    ASSERT_EQ(names.size(), kBackupsKept);
    // The first written (the latest times) stay; the five earliest times written last went.
    EXPECT_EQ(names.front(), BackupFileName("B", t + 60 * 104));
    EXPECT_EQ(names.back(), BackupFileName("A", t + 60 * 5));
    EXPECT_TRUE(fs::exists(folder / "keep.txt"));
}

TEST_F(BackupFilesTest, AFolderThatCannotBeMadeIsNamed) {
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "x";
    const std::string target = (folder / "file" / "backups").string();
    const BackupResult r = WriteBackup(target, "KVD417", ParameterImage{}, std::time(nullptr));
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Message.find(target), std::string::npos) << r.Message;
    EXPECT_TRUE(ListBackups(target).empty());
}

}  // namespace
}  // namespace torvane
