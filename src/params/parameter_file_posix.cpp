// POSIX side of the parameter files: whole reads, and saves through a temporary file that is
// synced and renamed over the target.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <system_error>

#include "params/parameter_file.h"

namespace torvane {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

FileResult Failure(const char* what, const std::string& path, int error) {
    return {false, std::string(what) + " \"" + path + "\": " + Reason(error)};
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    // Closes now and reports the result: a write-back error can surface only here.
    int Close() {
        const int r = ::close(fd_);
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

// Reads up to `max` bytes; returns the number read, or -1 with errno set.
ssize_t ReadUpTo(int fd, uint8_t* buffer, size_t max) {
    size_t done = 0;
    while (done < max) {
        const ssize_t n = ::read(fd, buffer + done, max - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

FileResult ReadParameterFile(const std::string& path, ParameterImage& image) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return Failure("Cannot open", path, errno);
    // One byte more than a parameter file holds tells a longer file from a whole one.
    uint8_t buffer[kParameterImageSize + 1];
    const ssize_t n = ReadUpTo(fd.Get(), buffer, sizeof buffer);
    if (n < 0) return Failure("Cannot read", path, errno);
    if (static_cast<size_t>(n) != kParameterImageSize) {
        std::string size;
        struct stat st {};
        if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode)) {
            size = std::to_string(st.st_size) + (st.st_size == 1 ? " byte" : " bytes");
        } else {
            size = static_cast<size_t>(n) > kParameterImageSize ? "more than 96 bytes"
                                                                : std::to_string(n) + " bytes";
        }
        return {false, Quoted(path) + " is not a parameter file: it holds " + size +
                           ", a parameter file holds exactly 96 bytes."};
    }
    std::copy(buffer, buffer + kParameterImageSize, image.begin());
    return {true, {}};
}

FileResult WriteParameterFile(const std::string& path, const ParameterImage& image) {
    // A target that is a symbolic link is replaced through the link, as writing in place would.
    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;

    // The temporary file sits beside the target so the rename stays on one file system.
    const std::string dir = DirectoryOf(target);
    const std::string base = target.substr(target.find_last_of('/') + 1);
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = (dir == "/" ? "" : dir) + "/." + base + ".tmp" + std::to_string(::getpid()) + "-" +
               std::to_string(counter++);
        // 0666 with the user's umask, as a file created in place would get.
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST) break;
    }
    if (raw < 0) return Failure("Cannot save", path, errno);
    Fd fd(raw);
    auto fail = [&](int error) {
        ::unlink(temp.c_str());
        return Failure("Cannot save", path, error);
    };
    if (replacing && S_ISREG(old.st_mode)) (void)::fchmod(fd.Get(), old.st_mode & 07777);
    if (!WriteAll(fd.Get(), image.data(), image.size())) return fail(errno);
    if (::fsync(fd.Get()) != 0) return fail(errno);
    if (fd.Close() != 0) return fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
    // Make the rename itself durable; a failure here leaves a whole file either way.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) (void)::fsync(dirFd.Get());
    return {true, {}};
}

}  // namespace torvane
