#include "ui/c_numbers.h"

#include <QLocale>
#include <clocale>

void UseCNumbers() {
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
}
