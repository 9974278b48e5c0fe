#include "ui/dialog_key_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

DialogKeyFilter* DialogKeyFilter::Install(QWidget* window) {
    auto* filter = new DialogKeyFilter(window);
    qApp->installEventFilter(filter);
    return filter;
}

DialogKeyFilter::DialogKeyFilter(QWidget* window) : QObject(window), window_(window) {}

bool DialogKeyFilter::IsFilteredKey(int key) {
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter ||
           key == Qt::Key_Space;
}

bool DialogKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_) return false;
    if (!IsFilteredKey(static_cast<QKeyEvent*>(event)->key())) return false;
    // A ShortcutOverride is only accepted (so no shortcut fires); the KeyPress is dropped.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return true;
}
