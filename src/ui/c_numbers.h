// Numbers in the C conventions (dot decimal, no grouping) for the whole program, whatever
// LANG or LC_ALL say. Qt sets the C library's locale from the environment when the application
// object is created (setlocale(LC_ALL, "")), which would turn snprintf's "%g" into "0,5" and
// make strtod stop at the dot, and it gives every widget the user's QLocale.
#pragma once

// Call on the UI thread right after the QApplication exists, before any window: puts
// LC_NUMERIC back to "C" and makes QLocale::c() the default locale of widgets (validators,
// chart labels). Other categories (texts, dates) keep the user's locale.
void UseCNumbers();
