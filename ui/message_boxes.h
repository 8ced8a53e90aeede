#pragma once

// The numbered messages of the program, in an information box ("Informacja")
// or a warning box ("Ostrzeżenie", with the stop icon), each with a single OK
// button and application-modal. Both return when the user has closed the box.
// A warning may carry a detail line under its text, saying why.

#include <QString>

class QWidget;

void PokazInformacje(int NumerKomunikatu);
void PokazOstrzezenie(int NumerKomunikatu, const QString &detail = QString());

// A screen-set file that could not be opened or saved, in a warning box as
// the numbered warnings are: what failed, and under it the file, its line
// and what is wrong.
void showFileProblem(const QString &text, const QString &detail);

// Asked when the user closes the main window while an upload runs; true for
// Yes (Qt's own Polish Yes and No).
bool askToCloseDuringUpload(QWidget *window);
