#include "params/parameter_backup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "params/parameter_download.h"
#include "params/parameter_file.h"
#include "params/write_stop.h"
#include "protocol/register_map.h"

namespace torvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuffix = ".dat";

std::tm Local(std::time_t t) {
    std::tm out{};
#ifdef _WIN32
    localtime_s(&out, &t);
#else
    localtime_r(&t, &out);
#endif
    return out;
}

bool AllDigits(const std::string& s, size_t at, size_t n) {
    if (at + n > s.size()) return false;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
}

// "<model>-YYYYMMDD-HHMMSS" at the end of `stem`: the model's length, or npos.
size_t StampAt(const std::string& stem) {
    constexpr size_t kStamp = 16;  // "-YYYYMMDD-HHMMSS"
    if (stem.size() <= kStamp) return std::string::npos;
    const size_t at = stem.size() - kStamp;
    if (stem[at] != '-' || stem[at + 9] != '-') return std::string::npos;
    if (!AllDigits(stem, at + 1, 8) || !AllDigits(stem, at + 10, 6)) return std::string::npos;
    return at;
}

// Reads a backup's file name; false for any other name.
bool ParseName(const std::string& name, BackupFile& out) {
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, kSuffix) != 0) return false;
    std::string stem = name.substr(0, name.size() - 4);
    unsigned long sequence = 1;
    size_t at = StampAt(stem);
    if (at == std::string::npos) {
        // "-<n>" after the stamp, for a second backup within one second.
        const size_t dash = stem.rfind('-');
        if (dash == std::string::npos || dash + 1 >= stem.size() ||
            !AllDigits(stem, dash + 1, stem.size() - dash - 1) || stem.size() - dash - 1 > 6)
            return false;
        sequence = std::strtoul(stem.c_str() + dash + 1, nullptr, 10);
        stem.resize(dash);
        at = StampAt(stem);
        if (at == std::string::npos || sequence < 2) return false;
    }
    if (at == 0) return false;
    const std::string d = stem.substr(at + 1, 8);
    const std::string t = stem.substr(at + 10, 6);
    out.Model = stem.substr(0, at);
    out.Time = d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) + " " + t.substr(0, 2) +
               ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
    char key[48];
    std::snprintf(key, sizeof key, "%s%s%06lu", d.c_str(), t.c_str(), sequence);
    out.Key = key;
    return true;
}

std::string Reason(const std::error_code& e) {
    return e.message();
}

}  // namespace

std::string DefaultBackupFolder() {
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    if (local == nullptr || *local == '\0') return {};
    return (fs::path(local) / "Torvane" / "backups").string();
#else
    // XDG: a relative XDG_DATA_HOME is to be ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return (fs::path(data) / "torvane" / "backups").string();
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return {};
    return (fs::path(home) / ".local" / "share" / "torvane" / "backups").string();
#endif
}

std::string BackupFileName(const std::string& model, std::time_t t, int n) {
    std::string name;
    for (char c : model) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '+' ||
                           (c == '.' && !name.empty());
        name += plain ? c : '_';
    }
    if (name.empty()) name = "drive";
    const std::tm local = Local(t);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    name += stamp;
    if (n > 1) {
        name += '-';
        name += std::to_string(n);
    }
    name += kSuffix;
    return name;
}

std::vector<BackupFile> ListBackups(const std::string& folder) {
    std::vector<BackupFile> out;
    std::error_code e;
    if (folder.empty()) return out;
    for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        BackupFile file;
        if (!ParseName(it->path().filename().string(), file)) continue;
        file.Path = it->path().string();
        out.push_back(std::move(file));
    }
    std::sort(out.begin(), out.end(), [](const BackupFile& a, const BackupFile& b) {
        return a.Key != b.Key ? a.Key > b.Key : a.Path > b.Path;
    });
    return out;
}

BackupResult WriteBackup(const std::string& folder, const std::string& model,
                         const ParameterImage& image, std::time_t now) {
    BackupResult r;
    if (folder.empty()) {
        r.Message = "no folder for backups: neither XDG_DATA_HOME nor HOME is set";
        return r;
    }
    std::error_code e;
    fs::create_directories(folder, e);
    if (e) {
        r.Message = "cannot create the backup folder \"" + folder + "\": " + Reason(e);
        return r;
    }
    fs::path path;
    for (int n = 1;; ++n) {
        path = fs::path(folder) / BackupFileName(model, now, n);
        std::error_code exists;
        if (!fs::exists(path, exists) && !exists) break;
        if (n > 9999) {
            r.Message = "cannot name a backup in \"" + folder + "\"";
            return r;
        }
    }
    const FileResult written = WriteParameterFile(path.string(), image);
    if (!written.Ok) {
        r.Message = written.Message;
        return r;
    }
    r.Ok = true;
    r.Path = path.string();
    const std::vector<BackupFile> all = ListBackups(folder);
    for (size_t i = kBackupsKept; i < all.size(); ++i) {
        std::error_code removed;
        fs::remove(all[i].Path, removed);
    }
    return r;
}

std::string BackupQuestion(const std::string& why) {
    return "The drive's parameters could not be backed up:\n" + why +
           "\n\nWrite to the drive without a backup?";
}

std::string BackupRefusal(const std::string& why) {
    return "The drive's parameters could not be backed up:\n" + why +
           "\nNothing was written to the drive.";
}

BackupGuard::BackupGuard(NoticeSink& sink, WithoutBackup without)
    : sink_(sink), without_(without), clock_([] { return std::time(nullptr); }) {}

std::string BackupGuard::Folder() const {
    return folder_.empty() ? DefaultBackupFolder() : folder_;
}

bool BackupGuard::Unavailable(const std::string& why) {
    if (without_ == WithoutBackup::Ask) return sink_.Confirm(BackupQuestion(why));
    sink_.Notice(BackupRefusal(why), NoticeIcon::Error);
    refused_ = true;
    return false;
}

void BackupGuard::LearnModel(DriveLink& link) {
    if (without_ == WithoutBackup::Allowed || !link.State().ModelString.empty()) return;
    (void)link.ReadRegister(reg::kIdentification, size::kIdentification);
}

bool BackupGuard::BeforeWrite(DriveLink& link) {
    last_.clear();
    refused_ = false;
    if (without_ == WithoutBackup::Allowed) return true;
    LearnModel(link);
    DriveState& state = link.State();
    ParameterSet drive;
    uint32_t counts = state.CountsPerRev;
    RegisterAddress failedAt = 0;
    if (const DriveError e = ReadDriveParameters(link, drive, &counts, &failedAt)) {
        const char* text = DriveErrorText(e);
        return Unavailable("the drive's set could not be read: " + BlockName(failedAt) + ": " +
                           (text ? text : "failed"));
    }
    return BeforeWrite(state.ModelString, drive, counts);
}

bool BackupGuard::BeforeWrite(const std::string& model, const ParameterSet& drive,
                              uint32_t countsPerRev) {
    last_.clear();
    refused_ = false;
    if (without_ == WithoutBackup::Allowed) return true;
    const BackupResult r =
        WriteBackup(Folder(), model, EncodeParameterImage(drive, countsPerRev), clock_());
    if (!r.Ok) return Unavailable(r.Message);
    last_ = r.Path;
    return true;
}

}  // namespace torvane
