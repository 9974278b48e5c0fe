// Driving the loop page in a test: its widgets by name, and running it modally with an action
// once it shows.
#pragma once

#include <QWidget>
#include <functional>

#include "support/modal_qt.h"
#include "tuning/loop_page.h"

// The result a test gives a page that did not close itself.
constexpr int kStillOpen = 99;

template <class T>
T* W(QWidget* page, const char* name) {
    T* w = page->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
}

// Runs the page modally and `act` on it once it shows; a page that `act` left open is closed
// with kStillOpen.
inline int RunPage(CDlgFileNewPID& page, const std::function<void(CDlgFileNewPID*)>& act) {
    OnNextModalOf<CDlgFileNewPID>([act](CDlgFileNewPID* p) {
        act(p);
        if (p->isVisible()) p->done(kStillOpen);
    });
    return page.Run();
}
