#include "modal_qt.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace {

// Checks 5 ms apart, so a wait in a nested event loop does not spin a core.
constexpr int kCheckIntervalMs = 5;

struct Waiter {
    std::function<bool(QWidget*)> match;
    std::function<void(QWidget*)> act;
    QPointer<QWidget> before;  // the modal window active when the wait began
};

void Poll(std::shared_ptr<Waiter> waiter, int triesLeft) {
    QTimer::singleShot(kCheckIntervalMs, [waiter, triesLeft] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w != waiter->before.data() && waiter->match(w)) {
            waiter->act(w);
            return;
        }
        if (triesLeft > 1) Poll(waiter, triesLeft - 1);
    });
}

}  // namespace

void OnNextModalMatching(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act,
                         int maxTries) {
    auto waiter = std::make_shared<Waiter>();
    waiter->match = std::move(match);
    waiter->act = std::move(act);
    waiter->before = QApplication::activeModalWidget();
    Poll(waiter, maxTries);
}

void OnNextModal(std::function<void(QWidget*)> act, int maxTries) {
    OnNextModalMatching([](QWidget*) { return true; }, std::move(act), maxTries);
}
