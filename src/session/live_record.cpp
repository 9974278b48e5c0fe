#include "session/live_record.h"

#include <cerrno>
#include <cstring>

#include "protocol/number_text.h"
#include "session/status_display.h"

namespace torvane {

const char* const kLiveRecordHeaderRow =
    "time_s,busbar_voltage_V,phase_current_A,current_speed_rpm,motor_position_P,"
    "output_axis_position_P,output_axis_angle_deg,motor_temperature_C,motor_state,fault_word";

namespace {

std::tm Local(std::time_t t) {
    std::tm out{};
#ifdef _WIN32
    localtime_s(&out, &t);
#else
    localtime_r(&t, &out);
#endif
    return out;
}

std::tm Utc(std::time_t t) {
    std::tm out{};
#ifdef _WIN32
    gmtime_s(&out, &t);
#else
    gmtime_r(&t, &out);
#endif
    return out;
}

// Seconds of a broken-down time counted as if it were UTC (days from the civil calendar), so
// the offset of local time is the difference of the two readings of one instant, with no
// platform call that knows the zone's name.
long long CivilSeconds(const std::tm& t) {
    long long y = t.tm_year + 1900LL;
    const long long m = t.tm_mon + 1;
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.tm_mday - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097 + doe - 719468;
    return days * 86400 + t.tm_hour * 3600LL + t.tm_min * 60LL + t.tm_sec;
}

}  // namespace

std::string LocalIsoTime(std::time_t t) {
    const std::tm local = Local(t);
    const long long offset = CivilSeconds(local) - CivilSeconds(Utc(t));
    // Zones lie within a day of UTC.
    const int minutes = static_cast<int>(((offset < 0 ? -offset : offset) / 60) % (24 * 60));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

std::string LiveRecordFileName(std::time_t t) {
    const std::tm local = Local(t);
    char text[64];
    std::snprintf(text, sizeof text, "Live%04d%02d%02d-%02d%02d%02d.csv", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string LiveRecordPreamble(const LiveRecordInfo& info) {
    std::string text = "# Torvane live record\n";
    text += "# model: " + info.Model + "\n";
    text += "# port: " + info.Port + "\n";
    text += "# started: " + LocalIsoTime(info.Started) + "\n";
    text += "# period_ms: " + FormatD(info.PeriodMs) + "\n";
    text += kLiveRecordHeaderRow;
    text += "\n";
    return text;
}

std::string LiveRecordRow(std::chrono::milliseconds elapsed, const DriveState& state,
                          const ConsoleState& console) {
    const long long ms = elapsed.count() < 0 ? 0 : elapsed.count();
    char time[32];
    std::snprintf(time, sizeof time, "%lld.%03lld", ms / 1000, ms % 1000);
    const LiveStatusTexts live = LiveStatusTextsOf(state);
    std::string row = time;
    for (const std::string* field :
         {&live.BusVoltage, &live.PhaseCurrent, &live.CurrentSpeed, &live.MotorPosition}) {
        row += ',';
        row += *field;
    }
    row += ',' + OutputAxisPositionText(console);
    row += ',' + OutputAxisAngleText(console);
    row += ',' + live.MotorTemperature;
    row += ',' + FormatD(state.MotorState);
    row += ',' + FormatD(state.StatusFaultWord);
    row += '\n';
    return row;
}

LiveRecorder::~LiveRecorder() {
    Close();
}

void LiveRecorder::Fail(const char* what, int err) {
    error_ = std::string(what) + path_ + ": " + std::strerror(err);
}

bool LiveRecorder::Open(const std::string& path, const LiveRecordInfo& info, std::string* error) {
    Close();
    path_ = path;
    error_.clear();
    samples_ = failed_ = 0;
    started_ = false;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        Fail("cannot create ", errno);
    } else {
        // Unbuffered: each row reaches the system with one write, so none is ever held back
        // or split between two.
        std::setvbuf(file_, nullptr, _IONBF, 0);
        WriteWhole(LiveRecordPreamble(info));
    }
    if (error) *error = error_;
    return file_ != nullptr;
}

bool LiveRecorder::WriteWhole(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size()) return true;
    Fail("cannot write ", errno != 0 ? errno : EIO);
    std::fclose(file_);
    file_ = nullptr;
    return false;
}

bool LiveRecorder::Sample(const DriveState& state, const ConsoleState& console,
                          Clock::time_point at) {
    if (file_ == nullptr) return false;
    if (!started_) {
        started_ = true;
        first_ = at;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(at - first_);
    if (!WriteWhole(LiveRecordRow(elapsed, state, console))) return false;
    ++samples_;
    return true;
}

bool LiveRecorder::Close() {
    if (file_ == nullptr) return error_.empty();
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) Fail("cannot write ", errno != 0 ? errno : EIO);
    return closed;
}

}  // namespace torvane
