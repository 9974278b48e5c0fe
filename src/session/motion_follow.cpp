#include "session/motion_follow.h"

#include <thread>

#include "serial/timing.h"
#include "session/progress_ticks.h"

namespace torvane {

namespace {

template <class Tick>
FollowResult Follow(CommandContext& ctx, TimerId id, ProgressBox* box, Tick tick) {
    FollowResult result;
    while (ctx.Timers.IsActive(id)) {
        std::this_thread::sleep_for(Period(TimerPeriod(id)));
        // The console ignores ticks without a port and waits for it to be opened again; here
        // nobody can open it, so the follow ends.
        if (!ctx.Port.PortOpen()) {
            ShowDriveError(ctx.Notices, kDeviceNoResponse);
            return result;
        }
        const ProgressStep step = tick(ctx, box);
        if (step.Text) result.Text = *step.Text;
        // Initialisation and calibration restart the status poll only when they succeeded.
        if (step.StopTimer) result.Completed = step.RestartPoll || id == TimerId::kResetTimer;
    }
    return result;
}

}  // namespace

FollowResult FollowInitialisation(CommandContext& ctx, ProgressBox* infoBox) {
    return Follow(ctx, TimerId::kInitTimer, infoBox, TickInitialisation);
}

FollowResult FollowCalibration(CommandContext& ctx, ProgressBox* correctionEntry) {
    return Follow(ctx, TimerId::kCalibrationTimer, correctionEntry, TickCalibration);
}

FollowResult FollowReset(CommandContext& ctx, ProgressBox* infoBox) {
    return Follow(ctx, TimerId::kResetTimer, infoBox, TickReset);
}

}  // namespace torvane
