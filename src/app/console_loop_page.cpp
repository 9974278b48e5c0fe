// CTorvaneDlg: the loop page behind the New chain's loop step and the Loop Parameters command.
// The loop page itself is not part of the program yet; until it is, both say so.
#include "app/torvane_dlg.h"
#include "ui/user_prompts.h"

int CTorvaneDlg::ShowLoopPage(bool modify) {
    (void)modify;
    Prompts().Notice("The loop parameter page is not built yet.");
    return 2;
}
