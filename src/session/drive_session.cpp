#include "session/drive_session.h"

#include "protocol/register_map.h"
#include "session/port_choice.h"

namespace torvane {

DriveSession::DriveSession() : link_(port_, state_, motion_) {
    link_.SetPortEventHandler([this](PortEvent event) { OnReaderEvent(event); });
}

DriveSession::~DriveSession() {
    link_.SetPortEventHandler(nullptr);
    link_.SetReplyHandler(nullptr);
    // Join both workers before they are destroyed; a joinable thread would end the process.
    port_.ClearPortOpen();
    link_.StopExtractor();
    port_.Close();
    StopSimulatedDrive();
}

void DriveSession::SetSimulatedDriveStarter(SimulatedDriveStarter* starter) {
    if (starter != starter_) StopSimulatedDrive();
    starter_ = starter;
}

std::vector<PortItem> DriveSession::SearchItems() {
    port_.Search(searchFolder_, sysfsRoot_);
    return PortListItems(port_.FoundPorts, OffersSimulatedDrive());
}

bool DriveSession::Open(const std::string& port, const LineSettings& settings,
                        std::string* reason) {
    auto fail = [reason](const std::string& why) {
        if (reason != nullptr) *reason = why;
        return false;
    };
    if (IsOpen()) return fail(kAlreadyOpenReason);
    ++generation_;  // events of any earlier connection are stale from here on
    // A Close that timed out left a worker or the device held: finish that release first.
    if (!link_.StopExtractor() || !port_.Close()) return fail(kStillHeldReason);

    std::string path = port;
    if (port == kSimulatedDriveItem) {
        if (starter_ == nullptr) return fail(kNoSimulatedDriveReason);
        std::string why;
        path = starter_->Start(why);
        if (path.empty()) return fail(why.empty() ? "the simulated drive did not start" : why);
        simulatedRunning_ = true;
    } else if (port.empty() || port == kNoPortItem) {
        return fail(kNoPortSelectedReason);
    }

    port_.Settings = settings;
    std::string why;
    if (!port_.Open(path, &why)) {
        StopSimulatedDrive();
        return fail(why);
    }
    link_.StartExtractor();
    return true;
}

bool DriveSession::Close() {
    ++generation_;  // what the closing connection still reports is stale
    port_.ClearPortOpen();
    if (!link_.StopExtractor() || !port_.Close()) return false;
    StopSimulatedDrive();
    return true;
}

void DriveSession::ReleasePort() {
    ++generation_;
    port_.ClearPortOpen();
    link_.StopExtractor();
    port_.Close();
    StopSimulatedDrive();
}

void DriveSession::StopSimulatedDrive() {
    if (!simulatedRunning_ || starter_ == nullptr) return;
    simulatedRunning_ = false;
    starter_->Stop();
}

void DriveSession::SetEventPoster(Poster post) {
    std::lock_guard<std::mutex> lock(eventLock_);
    poster_ = std::move(post);
}

void DriveSession::SetPortEventListener(std::function<void(PortEvent)> listener) {
    listener_ = std::move(listener);
}

void DriveSession::OnReaderEvent(PortEvent event) {
    Poster post;
    {
        std::lock_guard<std::mutex> lock(eventLock_);
        pending_.push_back({event, generation_.load()});
        post = poster_;
    }
    if (post) post([this] { ProcessPortEvents(); });
}

bool DriveSession::PortEventsPending() const {
    std::lock_guard<std::mutex> lock(eventLock_);
    return !pending_.empty();
}

void DriveSession::ProcessPortEvents() {
    std::vector<PendingEvent> events;
    {
        std::lock_guard<std::mutex> lock(eventLock_);
        events.swap(pending_);
    }
    for (const PendingEvent& e : events) {
        if (e.Generation != generation_.load()) continue;  // from a connection since closed
        if (e.Event == PortEvent::Lost) ReleasePort();
        if (listener_) listener_(e.Event);
    }
}

DriveError DriveSession::RunReads(std::span<const HandshakeRead> reads,
                                  const std::function<void()>& autoUpdateOff) {
    for (const HandshakeRead& read : reads) {
        if (read.AutoUpdateOffFirst) {
            state_.AutoUpdate = 0;
            if (autoUpdateOff) autoUpdateOff();
        }
        const uint8_t count = read.LongStatus ? LongStatusSize(state_) : read.Count;
        if (const DriveError e = link_.ReadRegister(read.Address, count)) return e;
    }
    return kSuccess;
}

}  // namespace torvane
