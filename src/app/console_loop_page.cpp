// CTorvaneDlg: the loop page, shown for the Loop Parameters command and the New chain.
#include "app/torvane_dlg.h"
#include "tuning/loop_page.h"

int CTorvaneDlg::ShowLoopPage(bool modify) {
    // One page for the console's life: its modes, the figures and the responses kept for
    // comparison carry over from one opening to the next.
    auto* page = findChild<CDlgFileNewPID*>(QString(), Qt::FindDirectChildrenOnly);
    if (page == nullptr) page = new CDlgFileNewPID(State(), Requests(), this);
    page->SetModifyMode(modify);
    if (modify) page->SetMotorEnabled(fields_.MotorEnabled);
    // The page waits for the user between the command's transactions; its tests are followed
    // by the console's test timers, which skip their ticks while the session counts as busy.
    torvane::DriveSession::IdleScope idle(session_);
    return page->Run();
}
