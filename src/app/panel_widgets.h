// The console's panels build their forms with the shared builders; their entries are their own
// (no length limit, an optional read-only look). UI thread only.
#pragma once

#include "ui/form_widgets.h"

class QLineEdit;
class QWidget;

namespace panel {

using form::Button;
using form::List;
using form::Row;
using form::Text;

// An entry named `name`; a read-only one gets the read-only look.
QLineEdit* Entry(QWidget* parent, const char* name, bool readOnly = false);

}  // namespace panel
