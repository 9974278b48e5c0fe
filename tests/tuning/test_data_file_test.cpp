#include "tuning/test_data_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "protocol/frame.h"

namespace torvane {
namespace {

namespace fs = std::filesystem;

using Capture = std::array<uint8_t, kCaptureBufferSize>;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t FloatBits(float f) {
    uint8_t b[4];
    PutFloatBE(b, f);
    return GetU32(b);
}

void PutRecord16(Capture& c, size_t k, int32_t set, int32_t actual, uint32_t index,
                 uint32_t fourth) {
    PutI32BE(&c[16 * k], set);
    PutI32BE(&c[16 * k + 4], actual);
    PutU32BE(&c[16 * k + 8], index);
    PutU32BE(&c[16 * k + 12], fourth);
}

class TestDataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/torvane-testdata-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string dir;
};

TEST(TestDataText, LinesAreExactWithCrLf) {
    Capture c{};
    // Current records: set, actual as floats.
    PutFloatBE(&c[0], 1.5f);
    PutFloatBE(&c[4], 1.25f);
    PutFloatBE(&c[8], -0.1f);
    PutFloatBE(&c[12], 123456.789f);
    EXPECT_EQ(TestDataText(LoopTest::Current, c, 16),
              "1.500000\t1.250000\r\n-0.100000\t123456.789062\r\n");
    EXPECT_EQ(TestDataText(LoopTest::Current, c, 15), "1.500000\t1.250000\r\n");

    PutRecord16(c, 0, 1000, 998, 7, FloatBits(0.5f));
    PutRecord16(c, 1, -1000, -3, 0xFFFFFFFFu, FloatBits(-2.0e-7f));
    EXPECT_EQ(TestDataText(LoopTest::Speed, c, 32),
              "1000\t998\t7\t0.500000\r\n-1000\t-3\t-1\t-0.000000\r\n");

    PutRecord16(c, 0, 200, 150, 7, 35);  // the fourth value is written undivided
    PutRecord16(c, 1, INT32_MIN, INT32_MAX, 0x80000000u, static_cast<uint32_t>(-35));
    EXPECT_EQ(TestDataText(LoopTest::Position, c, 32 + 15),
              "200\t150\t7\t35\r\n-2147483648\t2147483647\t-2147483648\t-35\r\n");

    for (LoopTest test : kLoopTests) EXPECT_EQ(TestDataText(test, c, 0), "");
}

TEST(TestDataText, TheLocaleDoesNotChangeTheDecimalPoint) {
    const char* chosen = nullptr;
    for (const char* l : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, l) != nullptr) {
            chosen = l;
            break;
        }
    }
    if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
    Capture c{};
    PutFloatBE(&c[0], 1.5f);
    PutFloatBE(&c[4], 2.0f);
    const std::string text = TestDataText(LoopTest::Current, c, 8);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "1.500000\t2.000000\r\n") << chosen;
}

TEST(TestDataFileName, StampIsTheLocalMinute) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 7;
    t.tm_min = 4;
    EXPECT_EQ(TestDataFileName(LoopTest::Current, t), "CurrentTestData202403050704.txt");
    EXPECT_EQ(TestDataFileName(LoopTest::Speed, t), "VelocityTestData202403050704.txt");
    t.tm_hour = 23;
    t.tm_min = 59;
    EXPECT_EQ(TestDataFileName(LoopTest::Position, t), "PositionTestData202403052359.txt");
}

TEST_F(TestDataFileTest, SavingAppendsToTheMinutesFile) {
    DriveState state;
    PutFloatBE(&state.CaptureBuffer[0], 1.5f);
    PutFloatBE(&state.CaptureBuffer[4], 1.25f);
    state.CurrentTestLength = 8;
    const std::time_t now = 1700000000 - 1700000000 % 60;  // the start of a minute
    const TestDataSave first = SaveTestData(LoopTest::Current, state, now, dir);
    ASSERT_FALSE(first.Error) << *first.Error;
    EXPECT_EQ(first.Path, dir + "/" + TestDataFileName(LoopTest::Current, LocalTime(now)));
    // Twice within the minute: the second set follows the first in the same file.
    const TestDataSave second = SaveTestData(LoopTest::Current, state, now + 59, dir);
    EXPECT_EQ(second.Path, first.Path);
    EXPECT_EQ(ReadAll(first.Path), "1.500000\t1.250000\r\n1.500000\t1.250000\r\n");

    // Before any test: an empty file, and an existing one stays as it was.
    const TestDataSave empty = SaveTestData(LoopTest::Speed, state, now, dir);
    ASSERT_FALSE(empty.Error);
    EXPECT_TRUE(fs::exists(empty.Path));
    EXPECT_EQ(fs::file_size(empty.Path), 0u);
    ASSERT_FALSE(AppendTestData(first.Path, LoopTest::Speed, state.CaptureBuffer, 0));
    EXPECT_EQ(ReadAll(first.Path).size(), 38u);

    // The working directory when no folder is given.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    const TestDataSave here = SaveTestData(LoopTest::Position, state, now);
    fs::current_path(cwd);
    EXPECT_EQ(here.Path, TestDataFileName(LoopTest::Position, LocalTime(now)));
    EXPECT_TRUE(fs::exists(dir + "/" + here.Path));
}

TEST_F(TestDataFileTest, AFileThatCannotBeWrittenIsReportedByName) {
    Capture c{};
    PutFloatBE(&c[0], 1.5f);
    const std::string missing = dir + "/no-such-folder/CurrentTestData202401010000.txt";
    const auto notOpened = AppendTestData(missing, LoopTest::Current, c, 8);
    ASSERT_TRUE(notOpened);
    EXPECT_EQ(notOpened->rfind("Cannot open the file " + missing + "\n", 0), 0u) << *notOpened;
    EXPECT_FALSE(fs::exists(missing));

    // A full disk: the open succeeds, the write does not.
    if (access("/dev/full", W_OK) == 0) {
        const auto notWritten = AppendTestData("/dev/full", LoopTest::Current, c, 8);
        ASSERT_TRUE(notWritten);
        EXPECT_EQ(notWritten->rfind("Cannot write the file /dev/full\n", 0), 0u) << *notWritten;
    }
}

}  // namespace
}  // namespace torvane
