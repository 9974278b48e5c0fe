// DriveSession: one connection to the drive, Qt-free. It owns the process-wide records (the
// SerialPort, DriveState, the console's MotionFields) and the DriveLink over them; the console,
// the communication settings window and torvane-cli all open, close, search and handshake
// through it. The connection state is the session's (IsOpen), never a window's caption.
//
// Threads: every method is for the one controlling thread (the UI thread in the console),
// except where a comment says otherwise. Transactions block that thread (5000 ms at most each,
// scaled by the time seam); Close blocks up to 1000 ms for each worker thread.
//
// Port events (a full receive buffer, a port that went away) arrive on the serial reader
// thread. The session queues them and hands the work to the controlling thread through the
// poster it was given (the console posts to its event loop); without a poster the owner calls
// ProcessPortEvents() itself (the command-line tool does, after each command). There a lost
// port is released (workers joined, device closed, simulated drive stopped) and the listener is
// told; events of a connection that has been closed or reopened since are dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "protocol/drive_error.h"
#include "protocol/drive_link.h"
#include "protocol/drive_state.h"
#include "serial/serial_port.h"
#include "session/handshake.h"
#include "session/port_choice.h"
#include "session/simulated_drive_starter.h"

namespace torvane {

class DriveSession {
public:
    // Reasons an Open fails for before the system is asked.
    static constexpr const char* kStillHeldReason = "the port is still in use by this program";
    static constexpr const char* kAlreadyOpenReason = "the port is already open";
    static constexpr const char* kNoSimulatedDriveReason = "the simulated drive is not available";

    DriveSession();
    // Closes an open port (joining both workers) and stops a simulated drive it started.
    ~DriveSession();
    DriveSession(const DriveSession&) = delete;
    DriveSession& operator=(const DriveSession&) = delete;

    // --- The records (they live as long as the session) ---
    SerialPort& Port() { return port_; }
    DriveState& State() { return state_; }
    MotionFields& Motion() { return motion_; }
    DriveLink& Link() { return link_; }
    // The display work after each reply (the console); null for none.
    void SetReplyHandler(ReplyHandler* handler) { link_.SetReplyHandler(handler); }

    // --- Ports ---
    // With a starter, the port item "Simulated drive" opens a simulated drive it starts (not
    // owned; must outlive the session or be reset to null). Without one it is not offered.
    void SetSimulatedDriveStarter(SimulatedDriveStarter* starter);
    bool OffersSimulatedDrive() const { return starter_ != nullptr; }
    // Folder the search looks for serial devices in ("/dev") and the sysfs it reads their
    // descriptions from ("/sys"); tests use folders of their own.
    void SetSearchFolder(std::string folder, std::string sysfsRoot = "/sys") {
        searchFolder_ = std::move(folder);
        sysfsRoot_ = std::move(sysfsRoot);
    }
    const std::string& SearchFolder() const { return searchFolder_; }
    // Searches for ports (opening none) and returns the port list's items: the ports found
    // with their descriptions or "null", then "Simulated drive" when offered (PortListItems).
    std::vector<PortItem> SearchItems();

    // --- Connection ---
    // Opens `port` (a device path, or kSimulatedDriveItem to start the simulated drive) with
    // `settings`, then starts the FrameExtractor. On failure returns false with the reason in
    // `reason` (the system's, or one of the reasons above, or kNoPortSelectedReason for "null"
    // or an empty name) and leaves the session closed. An earlier Close that failed is finished
    // first (up to 1000 ms for each worker); a port still held after that fails with
    // kStillHeldReason.
    bool Open(const std::string& port, const LineSettings& settings, std::string* reason = nullptr);
    // Clears the port flag, waits at most 1000 ms for the FrameExtractor and then at most
    // 1000 ms for the reader thread, and closes the device; stops a simulated drive it
    // started. Returns false when a worker did not end in time: the port stays held (IsOpen()
    // is false all the same, so the next Open finishes the release or fails).
    bool Close();
    // True while the port is open (from a successful Open until Close or a lost port).
    bool IsOpen() const { return port_.PortOpen(); }
    // Changes whenever a connection is opened or ends; port events carry the value of their time.
    uint64_t Generation() const { return generation_.load(); }

    // --- Port events ---
    // `post(work)` must run `work` later on the controlling thread. Called on the reader
    // thread. Empty: the owner calls ProcessPortEvents() itself.
    using Poster = std::function<void(std::function<void()> work)>;
    void SetEventPoster(Poster post);
    // Told of each current port event after the session has handled it (for Lost: after the
    // port was released). Controlling thread.
    void SetPortEventListener(std::function<void(PortEvent)> listener);
    // Handles the queued port events (see above). Controlling thread.
    void ProcessPortEvents();
    // True when events wait for ProcessPortEvents. Any thread.
    bool PortEventsPending() const;

    // --- Transactions (DriveLink's, on the controlling thread) ---
    DriveError Read(RegisterAddress address, uint8_t count) {
        return link_.ReadRegister(address, count);
    }
    DriveError Write(RegisterAddress address, uint8_t count) {
        return link_.WriteRegister(address, count);
    }
    // Runs a read sequence (kConnectHandshake, kShortHandshake, ...) and stops at the first
    // failure, which it returns (not shown); 0 when every read succeeded. Before a read marked
    // AutoUpdateOffFirst it clears DriveState::AutoUpdate and calls `autoUpdateOff` (the console
    // clears its box and stops the live timer there).
    DriveError RunReads(std::span<const HandshakeRead> reads,
                        const std::function<void()>& autoUpdateOff = {});

    // --- Busy guard ---
    // A command holds a BusyScope while it runs its transactions and the message boxes between
    // them. A message box runs its own event loop, in which timer ticks still fire: a tick
    // checks Busy() and waits for its next period instead of nesting a transaction.
    class BusyScope {
    public:
        explicit BusyScope(DriveSession& session) : session_(session) { ++session_.busy_; }
        ~BusyScope() { --session_.busy_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        DriveSession& session_;
    };
    bool Busy() const { return busy_ > 0; }
    // Lifts the guard while a command waits for the user in a page that runs its own work (the
    // loop page, whose test box must see the test timer's ticks): none of the command's
    // transactions is under way then. The guard is back as it was when the scope ends.
    class IdleScope {
    public:
        explicit IdleScope(DriveSession& session) : session_(session), saved_(session.busy_) {
            session_.busy_ = 0;
        }
        ~IdleScope() { session_.busy_ = saved_; }
        IdleScope(const IdleScope&) = delete;
        IdleScope& operator=(const IdleScope&) = delete;

    private:
        DriveSession& session_;
        int saved_;
    };

private:
    struct PendingEvent {
        PortEvent Event;
        uint64_t Generation;
    };
    void OnReaderEvent(PortEvent event);  // reader thread
    void ReleasePort();
    void StopSimulatedDrive();

    SerialPort port_;
    DriveState state_;
    MotionFields motion_;
    DriveLink link_;
    SimulatedDriveStarter* starter_ = nullptr;
    bool simulatedRunning_ = false;
    std::string searchFolder_ = "/dev";
    std::string sysfsRoot_ = "/sys";
    std::atomic<uint64_t> generation_{0};
    int busy_ = 0;

    mutable std::mutex eventLock_;
    std::vector<PendingEvent> pending_;  // under eventLock_
    Poster poster_;                      // under eventLock_
    std::function<void(PortEvent)> listener_;
};

}  // namespace torvane
