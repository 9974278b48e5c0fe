#include "serial/timing.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace torvane {

namespace {
std::atomic<double> gScale{1.0};
}

void SetTimeScale(double scale) { gScale.store(scale > 0 ? scale : 1.0); }
double TimeScale() { return gScale.load(); }

std::chrono::microseconds Period(int ms) {
    if (ms <= 0) return std::chrono::microseconds(0);
    const double us = std::ceil(ms * 1000.0 * gScale.load());
    return std::chrono::microseconds(std::max<long long>(1, static_cast<long long>(us)));
}

int PeriodMs(int ms) {
    if (ms <= 0) return 0;
    return std::max(1, static_cast<int>(std::lround(ms * gScale.load())));
}

}  // namespace torvane
