// The application icon, drawn in code (no image files are shipped). UI thread only.
#pragma once

#include <QIcon>

QIcon TorvaneIcon();
