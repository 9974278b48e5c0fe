// Acting on modal windows from a test: the window is shown with exec(), which does not return
// until it closes, so the action is queued before the call that opens it.
#pragma once

#include <QWidget>
#include <functional>

// Runs `act` on the next modal window once it is active (QApplication::activeModalWidget()),
// checking on each event-loop turn. Gives up (without calling `act`) after `maxTries` turns
// with no modal window; then nothing is closed and the test's exec() would hang, so tests
// should also close their window on failure paths.
void OnNextModal(std::function<void(QWidget*)> act, int maxTries = 2000);

// Runs `act` on the next modal window whose type is T.
template <class T>
void OnNextModalOf(std::function<void(T*)> act, int maxTries = 2000) {
    OnNextModal([act](QWidget* w) {
        if (auto* t = qobject_cast<T*>(w)) act(t);
    }, maxTries);
}
