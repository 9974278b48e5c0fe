// Acting on modal windows from a test: a window shown with exec() does not return until it
// closes, so the action is queued before the call that opens it.
#pragma once

#include <QWidget>
#include <functional>

// Runs `act` on the next modal window: the first active modal window
// (QApplication::activeModalWidget()) other than the one active when OnNextModal was called,
// checked every few milliseconds while an event loop runs. Gives up without calling `act` after
// `maxTries` checks; a test should then fail on its own (the window it waited for never came).
void OnNextModal(std::function<void(QWidget*)> act, int maxTries = 2000);

// As OnNextModal, for the next modal window for which `match` is true.
void OnNextModalMatching(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act,
                         int maxTries = 2000);

// As OnNextModal, for the next modal window of type T.
template <class T>
void OnNextModalOf(std::function<void(T*)> act, int maxTries = 2000) {
    OnNextModalMatching([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                        [act](QWidget* w) { act(qobject_cast<T*>(w)); }, maxTries);
}
