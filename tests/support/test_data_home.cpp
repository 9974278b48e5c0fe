// Linked into every test program: the program's data folder (XDG_DATA_HOME; LOCALAPPDATA on
// Windows) is a fresh temporary folder for the life of the process, removed at exit, so that
// nothing a test does (a backup before a write of the drive's parameters, also by a torvane-cli
// it starts) lands in the real home folder. Tests that look at backups use a folder of their
// own on top of this.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

class DataHome {
public:
    DataHome() {
        std::error_code e;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
#ifdef _WIN32
        const long pid = _getpid();
#else
        const long pid = static_cast<long>(getpid());
#endif
        path_ = fs::temp_directory_path(e) /
                ("torvane-test-data-" + std::to_string(pid) + "-" + std::to_string(stamp));
        fs::create_directories(path_, e);
#ifdef _WIN32
        _putenv_s("LOCALAPPDATA", path_.string().c_str());
#else
        setenv("XDG_DATA_HOME", path_.c_str(), 1);
#endif
    }
    ~DataHome() {
        std::error_code e;
        fs::remove_all(path_, e);
    }
    DataHome(const DataHome&) = delete;
    DataHome& operator=(const DataHome&) = delete;

private:
    fs::path path_;
};

const DataHome kDataHome;

}  // namespace
