#include "app/entry_progress_box.h"

#include <utility>

EntryProgressBox::EntryProgressBox(std::function<void(const QString&)> show)
    : show_(std::move(show)) {}

void EntryProgressBox::SetText(const std::string& text) {
    show_(QString::fromStdString(text));
}
