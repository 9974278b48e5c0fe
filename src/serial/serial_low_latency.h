// Low-latency mode of a serial driver. USB serial adapters hold received bytes back before they
// pass them on (FTDI chips up to 16 ms by default), which adds that wait to every reply and
// about a second to a capture read back in 64 blocks; in low-latency mode the driver passes
// them on at once. The driver's calls stand behind DriverSerialFlags so that the decision can
// be tested without an adapter.
#pragma once

#include <memory>

namespace torvane {

// The driver's serial settings of one open port (on Linux TIOCGSERIAL and TIOCSSERIAL).
class DriverSerialFlags {
public:
    virtual ~DriverSerialFlags() = default;
    // Reads the driver's settings and gives their flags word. 0, or the errno of a refusal.
    virtual int Get(int& flags) = 0;
    // Writes the settings last read back, with `flags` as their flags word. 0, or the errno of
    // a refusal.
    virtual int Set(int flags) = 0;
};

// The low-latency bit of the flags word (Linux's ASYNC_LOW_LATENCY).
constexpr int kLowLatencyFlag = 1 << 13;

// Turns low-latency mode on when the driver has it and it is off. It never fails the open: a
// driver without serial settings (a pseudo-terminal: ENOTTY), one that refuses the change
// (EINVAL, EPERM) or any other error leaves the port as it was, and nothing is reported.
// True when this call turned it on, so that RestoreLowLatency is due at close.
bool EnableLowLatency(DriverSerialFlags& driver);

// Turns low-latency mode off again, reading the settings afresh so that only that bit changes.
// Errors are ignored (the adapter may be gone by then).
void RestoreLowLatency(DriverSerialFlags& driver);

#ifdef __linux__
// The calls on the open terminal `fd` (not owned).
std::unique_ptr<DriverSerialFlags> MakeDriverSerialFlags(int fd);
#endif

}  // namespace torvane
