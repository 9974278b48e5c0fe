// Running a parameter page from a test: its modal run with an action queued on it, and a few
// readers for its widgets.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "support/modal_qt.h"

namespace pagetest {

// What exec() returns when the action left the page open (the helper closes it then).
constexpr int kLeftOpen = 99;

// Runs `page` modally (exec) and acts on it once it is up. An action that does not close the
// page makes exec return kLeftOpen.
template <class Page>
int Run(Page& page, std::function<void(Page&)> act) {
    bool acted = false;
    OnNextModalMatching([&page](QWidget* w) { return w == &page; },
                        [&](QWidget*) {
                            acted = true;
                            act(page);
                            if (page.isVisible()) page.done(kLeftOpen);
                        });
    const int result = page.exec();
    if (!acted) qWarning("the page's action never ran");
    return result;
}

template <class T = QWidget>
T* Find(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(name);
    if (child == nullptr) qFatal("no widget named %s", name);
    return child;
}

inline QString Text(QWidget& w, const char* edit) {
    return Find<QLineEdit>(w, edit)->text();
}
inline QString LabelText(QWidget& w, const char* label) {
    return Find<QLabel>(w, label)->text();
}
// Replaces an entry's text at once (textChanged fires once).
inline void Set(QWidget& w, const char* edit, const QString& text) {
    Find<QLineEdit>(w, edit)->setText(text);
}
// Clears an entry and types `text` key by key (textChanged fires after each key).
inline void Type(QWidget& w, const char* edit, const QString& text) {
    QLineEdit* e = Find<QLineEdit>(w, edit);
    e->clear();
    QTest::keyClicks(e, text);
}
inline void Click(QWidget& w, const char* button) {
    Find<QPushButton>(w, button)->click();
}

}  // namespace pagetest
