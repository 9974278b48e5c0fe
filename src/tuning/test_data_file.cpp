#include "tuning/test_data_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "tuning/test_records.h"

namespace torvane {

namespace {

// to_chars formats as printf does in the "C" locale, so a user's locale cannot turn the dot
// into a comma.
void AppendFixed(std::string& line, double value) {
    char buffer[512];  // "%f" of the largest double needs 316 characters
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    line.append(buffer, result.ptr);
}

void AppendInt(std::string& line, int32_t value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    line.append(buffer, result.ptr);
}

std::string Reason(const std::string& path, const char* what, int error) {
    return std::string(what) + path + "\n" + std::strerror(error);
}

}  // namespace

std::tm LocalTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

std::string TestDataFileName(LoopTest test, const std::tm& localTime) {
    char stamp[32];
    if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M", &localTime) == 0) stamp[0] = '\0';
    return std::string(TraitsOf(test).FilePrefix) + stamp + ".txt";
}

std::string TestDataText(LoopTest test, std::span<const uint8_t> capture, size_t byteCount) {
    std::string text;
    switch (test) {
        case LoopTest::Current:
            for (const CurrentTestRecord& r : DecodeCurrentTestRecords(capture, byteCount)) {
                AppendFixed(text, r.SetValue);
                text += '\t';
                AppendFixed(text, r.ActualValue);
                text += "\r\n";
            }
            break;
        case LoopTest::Speed:
            for (const SpeedTestRecord& r : DecodeSpeedTestRecords(capture, byteCount)) {
                AppendInt(text, r.SetValue);
                text += '\t';
                AppendInt(text, r.ActualValue);
                text += '\t';
                AppendInt(text, static_cast<int32_t>(r.PeriodIndex));
                text += '\t';
                AppendFixed(text, r.FourthValue);
                text += "\r\n";
            }
            break;
        case LoopTest::Position:
            for (const PositionTestRecord& r : DecodePositionTestRecords(capture, byteCount)) {
                AppendInt(text, r.SetValue);
                text += '\t';
                AppendInt(text, r.ActualValue);
                text += '\t';
                AppendInt(text, static_cast<int32_t>(r.PeriodIndex));
                text += '\t';
                AppendInt(text, r.FourthValue);
                text += "\r\n";
            }
            break;
    }
    return text;
}

std::optional<std::string> AppendTestData(const std::string& path, LoopTest test,
                                          std::span<const uint8_t> capture, size_t byteCount) {
    // Binary append: CR LF as written on every platform, and every write lands at the end.
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return Reason(path, "Cannot open the file ", errno);
    const std::string text = TestDataText(test, capture, byteCount);
    int error = 0;
    errno = 0;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        error = errno != 0 ? errno : EIO;
    }
    // A full disk often shows only when the buffer is flushed.
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error != 0) return Reason(path, "Cannot write the file ", error);
    return std::nullopt;
}

TestDataSave SaveTestData(LoopTest test, const DriveState& state, std::time_t now,
                          const std::string& directory) {
    TestDataSave save;
    const std::string name = TestDataFileName(test, LocalTime(now));
    if (directory.empty()) {
        save.Path = name;
    } else if (directory.back() == '/' || directory.back() == '\\') {
        save.Path = directory + name;
    } else {
        save.Path = directory + "/" + name;
    }
    save.Error = AppendTestData(save.Path, test, state.CaptureBuffer, CaptureLength(state, test));
    return save;
}

}  // namespace torvane
