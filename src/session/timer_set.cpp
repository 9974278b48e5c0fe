#include "session/timer_set.h"

namespace torvane {

void TimerSet::StartTimer(TimerId id) {
    active_.insert(id);
    log_.push_back("start " + std::to_string(static_cast<int>(id)));
}

void TimerSet::StopTimer(TimerId id) {
    active_.erase(id);
    log_.push_back("stop " + std::to_string(static_cast<int>(id)));
}

bool TimerSet::IsActive(TimerId id) const {
    return active_.count(id) != 0;
}

void TimerSet::ClearAutoUpdateCheck() {
    log_.push_back("autoupdate off");
}

}  // namespace torvane
