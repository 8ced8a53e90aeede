#pragma once

// The numbered messages the program shows: their texts and titles.

#include <QString>

namespace messages {

// The text of message NumerKomunikatu; empty for a number the table lacks.
QString text(int NumerKomunikatu);

QString informationTitle(); // "Informacja"
QString warningTitle();     // "Ostrzeżenie"

} // namespace messages
