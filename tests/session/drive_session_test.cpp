// DriveSession over the real SerialPort and a pseudo-terminal: opening, closing and reopening,
// the reasons an open fails, the simulated drive behind "Simulated drive", a port that goes
// away, a close that times out, the two handshakes failing at each step, and the busy guard.
#include "session/drive_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "protocol/register_map.h"
#include "serial/timing.h"
#include "session/port_choice.h"
#include "sim/simulated_drive.h"
#include "support/scripted_peer.h"
#include "support/test_sim_starter.h"

namespace torvane {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Chunk;
using test::ReplyFrame;
using test::ScriptedPeer;
using test::TestSimStarter;

sim::SimOptions Fast() {
    sim::SimOptions o;
    o.Pacing = false;
    return o;
}

// The work a session posts from the reader thread, run later on the test thread as an event
// loop would.
class PostedWork {
public:
    DriveSession::Poster Poster() {
        return [this](std::function<void()> work) {
            {
                std::lock_guard<std::mutex> lock(m_);
                work_.push_back(std::move(work));
            }
            cv_.notify_all();
        };
    }
    // Waits for posted work and runs it; false when none came within `timeout`.
    bool RunNext(std::chrono::milliseconds timeout = 5s) {
        std::function<void()> work;
        {
            std::unique_lock<std::mutex> lock(m_);
            if (!cv_.wait_for(lock, timeout, [this] { return !work_.empty(); })) return false;
            work = std::move(work_.front());
            work_.pop_front();
        }
        work();
        return true;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> work_;
};

class DriveSessionTest : public ::testing::Test {
protected:
    void SetUp() override { SetTimeScale(0.05); }
    void TearDown() override { SetTimeScale(1.0); }
};

TEST_F(DriveSessionTest, OpensClosesAndReopensTheSamePort) {
    sim::SimulatedDrive drive(Fast());
    ASSERT_TRUE(drive.Start());
    DriveSession session;
    for (int round = 0; round < 3; ++round) {
        const uint64_t before = session.Generation();
        std::string reason;
        ASSERT_TRUE(session.Open(drive.SlavePath(), LineSettings{}, &reason)) << reason;
        EXPECT_TRUE(session.IsOpen());
        EXPECT_TRUE(session.Link().ExtractorRunning());
        EXPECT_NE(session.Generation(), before);
        EXPECT_EQ(session.Port().Path(), drive.SlavePath());
        EXPECT_EQ(session.Read(reg::kIdentification, size::kIdentification), kSuccess);
        EXPECT_EQ(session.State().ModelString, "KVD417");

        EXPECT_TRUE(session.Close());
        EXPECT_FALSE(session.IsOpen());
        EXPECT_FALSE(session.Link().ExtractorRunning());
        // A transaction on the closed port sends nothing and fails at once.
        const size_t requests = drive.RequestCount();
        EXPECT_EQ(session.Read(reg::kLiveStatus, size::kLiveStatusShort), kDeviceNoResponse);
        EXPECT_EQ(drive.RequestCount(), requests);
    }
    // Closing a closed session is harmless.
    EXPECT_TRUE(session.Close());
}

TEST_F(DriveSessionTest, OpenFailuresSayWhy) {
    ScriptedPeer peer;
    SerialPort other;  // another program's hold on the peer's port
    ASSERT_TRUE(other.Open(peer.SlavePath()));
    const struct {
        std::string port;
        std::string reasonPart;
    } cases[] = {
        {"", kNoPortSelectedReason},
        {kNoPortItem, kNoPortSelectedReason},
        {kSimulatedDriveItem, DriveSession::kNoSimulatedDriveReason},
        {"/dev/ttyTorvaneNone", "/dev/ttyTorvaneNone"},
        {"/dev/null", "not a serial device"},
        {peer.SlavePath(), "in use"},
    };
    DriveSession session;
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_FALSE(session.Open(c.port, LineSettings{}, &reason)) << c.port;
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << c.port << ": " << reason;
        EXPECT_FALSE(session.IsOpen());
        EXPECT_FALSE(session.Link().ExtractorRunning());
    }
    EXPECT_TRUE(other.Close());

    // An open session refuses a second open and stays as it is.
    ASSERT_TRUE(session.Open(peer.SlavePath(), LineSettings{}));
    std::string reason;
    EXPECT_FALSE(session.Open(peer.SlavePath(), LineSettings{}, &reason));
    EXPECT_EQ(reason, DriveSession::kAlreadyOpenReason);
    EXPECT_TRUE(session.IsOpen());
    EXPECT_EQ(session.Read(reg::kCanSettings, size::kCanSettings), kSuccess);
}

TEST_F(DriveSessionTest, OpenTakesTheLineSettings) {
    ScriptedPeer peer;
    DriveSession session;
    LineSettings line;
    line.BaudRate = 19600;
    line.ParityMode = Parity::Even;
    line.Stop = StopBits::Two;
    ASSERT_TRUE(session.Open(peer.SlavePath(), line));
    EXPECT_EQ(session.Port().Settings.BaudRate, 19600u);
    EXPECT_EQ(session.Port().Settings.ParityMode, Parity::Even);
    EXPECT_EQ(session.Port().Settings.Stop, StopBits::Two);
}

TEST_F(DriveSessionTest, SimulatedDriveItemStartsAndStopsTheDrive) {
    TestSimStarter starter;
    DriveSession session;
    session.SetSimulatedDriveStarter(&starter);
    EXPECT_TRUE(session.OffersSimulatedDrive());

    std::string reason;
    ASSERT_TRUE(session.Open(kSimulatedDriveItem, LineSettings{}, &reason)) << reason;
    EXPECT_EQ(starter.Starts, 1);
    ASSERT_NE(starter.Drive(), nullptr);
    EXPECT_EQ(session.Port().Path(), starter.Drive()->SlavePath());
    EXPECT_EQ(session.RunReads(kConnectHandshake), kSuccess);
    EXPECT_TRUE(session.Close());
    EXPECT_EQ(starter.Stops, 1);
    EXPECT_EQ(starter.Drive(), nullptr);

    // A starter that fails: its reason, verbatim, and nothing opened.
    starter.FailWith = "no pseudo-terminal left";
    EXPECT_FALSE(session.Open(kSimulatedDriveItem, LineSettings{}, &reason));
    EXPECT_EQ(reason, "no pseudo-terminal left");
    EXPECT_FALSE(session.IsOpen());

    // A drive that started but whose port does not open is stopped again.
    starter.FailWith.reset();
    starter.PathOverride = "/dev/null";
    const int stops = starter.Stops;
    EXPECT_FALSE(session.Open(kSimulatedDriveItem, LineSettings{}, &reason));
    EXPECT_NE(reason.find("not a serial device"), std::string::npos) << reason;
    EXPECT_EQ(starter.Stops, stops + 1);
    EXPECT_EQ(starter.Drive(), nullptr);

    // A device path never touches the starter.
    ScriptedPeer peer;
    const int starts = starter.Starts;
    ASSERT_TRUE(session.Open(peer.SlavePath(), LineSettings{}));
    EXPECT_TRUE(session.Close());
    EXPECT_EQ(starter.Starts, starts);
}

TEST_F(DriveSessionTest, SearchItemsEndWithTheSimulatedDriveWhenOffered) {
    DriveSession session;
    session.SetSearchFolder("/nonexistent-torvane-folder");
    const PortItem none{kNoPortItem, kNoPortItem, ""};
    EXPECT_EQ(session.SearchItems(), std::vector<PortItem>{none});
    TestSimStarter starter;
    session.SetSimulatedDriveStarter(&starter);
    const PortItem simulated{kSimulatedDriveItem, kSimulatedDriveItem, ""};
    EXPECT_EQ(session.SearchItems(), (std::vector<PortItem>{none, simulated}));
    EXPECT_EQ(starter.Starts, 0);
}

TEST_F(DriveSessionTest, LostPortIsReleasedAndToldOnTheControllingThread) {
    TestSimStarter starter;
    DriveSession session;
    session.SetSimulatedDriveStarter(&starter);
    PostedWork posted;
    session.SetEventPoster(posted.Poster());
    std::vector<PortEvent> told;
    session.SetPortEventListener([&](PortEvent e) {
        // By the time the listener hears of it, the port is released.
        EXPECT_FALSE(session.IsOpen());
        EXPECT_FALSE(session.Link().ExtractorRunning());
        told.push_back(e);
    });
    ASSERT_TRUE(session.Open(kSimulatedDriveItem, LineSettings{}));
    ASSERT_EQ(session.RunReads(kConnectHandshake), kSuccess);

    starter.Drive()->HangUp();
    // The outstanding read ends without waiting out its time-out, and nothing is released
    // behind the controlling thread's back.
    EXPECT_EQ(session.Read(reg::kLiveStatus, size::kLiveStatusShort), kDeviceNoResponse);
    ASSERT_TRUE(posted.RunNext());
    EXPECT_EQ(told, std::vector<PortEvent>{PortEvent::Lost});
    EXPECT_FALSE(session.IsOpen());
    EXPECT_EQ(starter.Drive(), nullptr);  // the simulated drive is stopped
    EXPECT_FALSE(session.PortEventsPending());

    // Ready to open again.
    ASSERT_TRUE(session.Open(kSimulatedDriveItem, LineSettings{}));
    EXPECT_EQ(session.RunReads(kShortHandshake), kSuccess);
}

TEST_F(DriveSessionTest, WithoutAPosterTheOwnerProcessesTheEvents) {
    ScriptedPeer peer;
    DriveSession session;
    int lost = 0;
    session.SetPortEventListener([&](PortEvent e) { lost += e == PortEvent::Lost; });
    ASSERT_TRUE(session.Open(peer.SlavePath(), LineSettings{}));
    peer.HangUp();
    EXPECT_EQ(session.Read(reg::kLiveStatus, size::kLiveStatusShort), kDeviceNoResponse);
    // The reader reported the loss before the read ended.
    EXPECT_TRUE(session.PortEventsPending());
    EXPECT_TRUE(session.IsOpen());
    session.ProcessPortEvents();
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(session.IsOpen());
}

TEST_F(DriveSessionTest, EventsOfAClosedConnectionAreStale) {
    sim::SimulatedDrive first(Fast()), second(Fast());
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    DriveSession session;
    int told = 0;
    session.SetPortEventListener([&](PortEvent) { ++told; });

    // Lost, then closed by the user before the event was handled: nothing more happens.
    ASSERT_TRUE(session.Open(first.SlavePath(), LineSettings{}));
    first.HangUp();
    EXPECT_EQ(session.Read(reg::kLiveStatus, size::kLiveStatusShort), kDeviceNoResponse);
    EXPECT_TRUE(session.Close());
    session.ProcessPortEvents();
    EXPECT_EQ(told, 0);

    // Lost, and another port opened before the event was handled: the new one stays open.
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(session.Open(first.SlavePath(), LineSettings{}));
    first.HangUp();
    EXPECT_EQ(session.Read(reg::kLiveStatus, size::kLiveStatusShort), kDeviceNoResponse);
    ASSERT_TRUE(session.PortEventsPending());
    EXPECT_TRUE(session.Close());
    ASSERT_TRUE(session.Open(second.SlavePath(), LineSettings{}));
    session.ProcessPortEvents();
    EXPECT_EQ(told, 0);
    EXPECT_TRUE(session.IsOpen());
    EXPECT_EQ(session.Read(reg::kIdentification, size::kIdentification), kSuccess);
}

// A reader thread held up in the event poster does not end within Close's 1000 ms: the close
// fails, the session counts as closed all the same, and the next open finishes the release
// once the reader has ended.
TEST_F(DriveSessionTest, CloseThatTimesOutLeavesTheSessionClosedAndTheNextOpenFinishesIt) {
    ScriptedPeer stuck;
    sim::SimulatedDrive drive(Fast());
    ASSERT_TRUE(drive.Start());
    DriveSession session;
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, release = false, left = false;
    session.SetEventPoster([&](std::function<void()>) {
        std::unique_lock<std::mutex> lock(m);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        left = true;
        cv.notify_all();
    });
    ASSERT_TRUE(session.Open(stuck.SlavePath(), LineSettings{}));
    stuck.HangUp();
    {
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return entered; }));
    }
    EXPECT_FALSE(session.Close());
    EXPECT_FALSE(session.IsOpen());
    std::string reason;
    EXPECT_FALSE(session.Open(drive.SlavePath(), LineSettings{}, &reason));
    EXPECT_EQ(reason, DriveSession::kStillHeldReason);

    {
        std::unique_lock<std::mutex> lock(m);
        release = true;
        cv.notify_all();
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return left; }));
    }
    ASSERT_TRUE(session.Open(drive.SlavePath(), LineSettings{}, &reason)) << reason;
    EXPECT_EQ(session.Read(reg::kIdentification, size::kIdentification), kSuccess);
    EXPECT_TRUE(session.Close());
}

// A peer that answers every read with zeros and fails request number `failAt` (0-based) with
// `nibble`, or stays silent for it when `nibble` is 0.
struct FailingPeer {
    explicit FailingPeer(size_t failAt, uint8_t nibble) {
        peer.SetResponder([this, failAt, nibble](const Bytes& req) -> std::vector<Chunk> {
            const auto a = static_cast<RegisterAddress>(req[4] << 8 | req[5]);
            if (seen++ == failAt) {
                if (nibble == 0) return {};
                return {{{}, ReplyFrame(a, kFunctionRead, {}, nibble)}};
            }
            return {{{}, ReplyFrame(a, kFunctionRead, Bytes(req[6], 0))}};
        });
    }
    std::atomic<size_t> seen{0};
    ScriptedPeer peer;
};

TEST_F(DriveSessionTest, HandshakesStopAtTheFirstFailure) {
    const struct {
        const char* name;
        std::span<const HandshakeRead> reads;
    } sequences[] = {{"connect", kConnectHandshake}, {"short", kShortHandshake}};
    for (const auto& sequence : sequences) {
        for (size_t step = 0; step < sequence.reads.size(); ++step) {
            // An error reply at every step; silence (a full time-out) at a few.
            for (uint8_t nibble : {uint8_t{3}, uint8_t{0}}) {
                if (nibble == 0 && step % 4 != 0) continue;
                SCOPED_TRACE(std::string(sequence.name) + " step " + std::to_string(step) +
                             " nibble " + std::to_string(nibble));
                FailingPeer failing(step, nibble);
                DriveSession session;
                ASSERT_TRUE(session.Open(failing.peer.SlavePath(), LineSettings{}));
                session.State().AutoUpdate = 1;
                int autoUpdateOff = 0;
                const DriveError e = session.RunReads(sequence.reads, [&] { ++autoUpdateOff; });
                EXPECT_EQ(e, nibble == 0 ? kDeviceNoResponse : DriveErrorFromNibble(nibble));
                const auto requests = failing.peer.Requests();
                ASSERT_EQ(requests.size(), step + 1);
                for (size_t i = 0; i < requests.size(); ++i) {
                    const auto a =
                        static_cast<RegisterAddress>(requests[i][4] << 8 | requests[i][5]);
                    EXPECT_EQ(a, sequence.reads[i].Address);
                }
                // Auto Update goes off after the identification read, before the status read.
                EXPECT_EQ(autoUpdateOff, step >= 1 ? 1 : 0);
                EXPECT_EQ(session.State().AutoUpdate, step >= 1 ? 0 : 1);
                // The port stays open: giving up is the caller's choice.
                EXPECT_TRUE(session.IsOpen());
            }
        }
    }
}

TEST_F(DriveSessionTest, HandshakeReadsTheLongStatusOfTheModel) {
    for (const std::string model : {"KVD417", "KVD420"}) {
        sim::SimOptions options = Fast();
        options.Model = model;
        sim::SimulatedDrive drive(options);
        ASSERT_TRUE(drive.Start());
        DriveSession session;
        ASSERT_TRUE(session.Open(drive.SlavePath(), LineSettings{}));
        ASSERT_EQ(session.RunReads(kConnectHandshake), kSuccess);
        std::vector<std::pair<int, int>> reads;
        for (const auto& r : drive.Requests()) reads.emplace_back(r.Address, r.Count);
        const int status = model == "KVD417" ? 26 : 22;
        const std::vector<std::pair<int, int>> expected = {
            {0x2100, 34}, {0x1200, status}, {0x0300, 2},  {0x2300, 18}, {0x1000, 17},
            {0x2200, 7},  {0x1100, 37},     {0x2122, 24}, {0x2200, 7},
        };
        EXPECT_EQ(reads, expected) << model;
    }
}

TEST_F(DriveSessionTest, BusyGuardNests) {
    DriveSession session;
    EXPECT_FALSE(session.Busy());
    {
        DriveSession::BusyScope outer(session);
        EXPECT_TRUE(session.Busy());
        {
            DriveSession::BusyScope inner(session);
            EXPECT_TRUE(session.Busy());
        }
        EXPECT_TRUE(session.Busy());  // the outer command still runs
    }
    EXPECT_FALSE(session.Busy());
}

}  // namespace
}  // namespace torvane
