#include "session/capture_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace torvane {

namespace {

constexpr char kCaptureLine[] = "111111\r\n";

std::string Reason(const std::string& path, const char* what, int error) {
    return std::string(what) + path + "\n" + std::strerror(error);
}

}  // namespace

std::string CaptureFileName(std::time_t now) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[32];
    if (std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M", &local) == 0) stamp[0] = '\0';
    return std::string("TestData") + stamp + ".txt";
}

std::optional<std::string> WriteCaptureFile(const std::string& path) {
    // Binary, so the line ends in CR LF on every platform, as the file has always held.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return Reason(path, "Cannot open the file ", errno);
    int error = 0;
    errno = 0;
    if (std::fputs(kCaptureLine, file) == EOF) error = errno != 0 ? errno : EIO;
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error != 0) return Reason(path, "Cannot write the file ", error);
    return std::nullopt;
}

}  // namespace torvane
