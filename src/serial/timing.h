// The one place every period and time-out of the tool is taken from.
//
// Figures are given in the drive's own milliseconds (5000 ms reply wait, 500 ms poll ...);
// Period() scales them by a factor that is 1 in the product and small in tests, so a test of a
// 40 s time-out runs in well under a second. Thread-safe.
#pragma once

#include <chrono>

namespace torvane {

void SetTimeScale(double scale);  // tests only
double TimeScale();

// `ms` scaled, as a duration (at least 1 microsecond for a non-zero figure).
std::chrono::microseconds Period(int ms);
// `ms` scaled, in whole milliseconds for timers (at least 1 for a non-zero figure).
int PeriodMs(int ms);

namespace timeout {
constexpr int kReply = 5000;         // ReadRegister, WriteRegister
constexpr int kQuickReply = 1000;    // WriteRegisterQuick
constexpr int kSerialWrite = 1000;   // completion of a port write
constexpr int kThreadEnd = 1000;     // reader and extractor threads ending at close
}  // namespace timeout

}  // namespace torvane
