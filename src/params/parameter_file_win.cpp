// Windows side of the parameter files: whole reads, and saves through a temporary file beside
// the target that is flushed and then moved over it (MoveFileEx with write-through).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "params/parameter_file.h"
#include "serial/win_text.h"

namespace torvane {

namespace {

FileResult Failure(const char* what, const std::string& path, DWORD error) {
    return {false, std::string(what) + " \"" + path + "\": " + SystemErrorText(error)};
}

// Closes a handle on every path out of a function.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    bool Close() {
        const bool ok = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash + 1 == path.size() ? slash + 1 : slash);
}

}  // namespace

FileResult ReadParameterFile(const std::string& path, ParameterImage& image) {
    Handle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) return Failure("Cannot open", path, GetLastError());
    // One byte more than a parameter file holds tells a longer file from a whole one.
    uint8_t buffer[kParameterImageSize + 1];
    DWORD done = 0;
    while (done < sizeof buffer) {
        DWORD n = 0;
        if (!ReadFile(file.Get(), buffer + done, static_cast<DWORD>(sizeof buffer - done), &n,
                      nullptr))
            return Failure("Cannot read", path, GetLastError());
        if (n == 0) break;
        done += n;
    }
    if (done != kParameterImageSize) {
        std::string size;
        LARGE_INTEGER length{};
        if (GetFileSizeEx(file.Get(), &length)) {
            size = std::to_string(length.QuadPart) + (length.QuadPart == 1 ? " byte" : " bytes");
        } else {
            size =
                done > kParameterImageSize ? "more than 96 bytes" : std::to_string(done) + " bytes";
        }
        return {false, "\"" + path + "\" is not a parameter file: it holds " + size +
                           ", a parameter file holds exactly 96 bytes."};
    }
    std::copy(buffer, buffer + kParameterImageSize, image.begin());
    return {true, {}};
}

FileResult WriteParameterFile(const std::string& path, const ParameterImage& image) {
    // The temporary file sits beside the target so the move stays on one volume.
    const std::string dir = DirectoryOf(path);
    const std::string base = path.substr(path.find_last_of("/\\") + 1);
    static std::atomic<unsigned> counter{0};
    std::string temp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        temp = dir + "\\." + base + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(counter++);
        raw = CreateFileW(WideFromUtf8(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        if (raw == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
    }
    if (raw == INVALID_HANDLE_VALUE) return Failure("Cannot save", path, error);
    Handle file(raw);
    auto fail = [&](DWORD e) {
        if (file.Get() != INVALID_HANDLE_VALUE) file.Close();
        DeleteFileW(WideFromUtf8(temp).c_str());
        return Failure("Cannot save", path, e);
    };
    DWORD written = 0;
    if (!WriteFile(file.Get(), image.data(), static_cast<DWORD>(image.size()), &written, nullptr) ||
        written != image.size())
        return fail(GetLastError());
    if (!FlushFileBuffers(file.Get())) return fail(GetLastError());
    if (!file.Close()) return fail(GetLastError());
    if (!MoveFileExW(WideFromUtf8(temp).c_str(), WideFromUtf8(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(GetLastError());
    return {true, {}};
}

}  // namespace torvane
