// CTorvaneDlg::Requests until the console's own page requests (motor matching and the loop
// tests, followed by their progress timers) are part of the program: each request says so and
// starts nothing. The console's implementation replaces this file.
#include "app/torvane_dlg.h"
#include "ui/user_prompts.h"

namespace {

class NotYetRequests : public torvane::PageRequests {
public:
    uint8_t StartMotorMatch() override { return Refuse(); }
    uint8_t CancelMotorMatch() override { return 0; }
    uint8_t StartCurrentLoopTest() override { return Refuse(); }
    uint8_t StopCurrentLoopTest() override { return 0; }
    uint8_t StartSpeedLoopTest() override { return Refuse(); }
    uint8_t StopSpeedLoopTest() override { return 0; }
    uint8_t StartPositionLoopTest() override { return Refuse(); }
    uint8_t StopPositionLoopTest() override { return 0; }
    void SetOpenBox(torvane::ProgressBoxKind, torvane::ProgressBox*) override {}

private:
    static uint8_t Refuse() {
        Prompts().Notice("Matching and loop tests are not available in this build yet.");
        return 1;
    }
};

}  // namespace

torvane::PageRequests& CTorvaneDlg::Requests() {
    static NotYetRequests requests;
    return requests;
}
