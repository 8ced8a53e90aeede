#pragma once

// Polish whatever the system's language: the locale, and Qt's own texts
// (message box buttons, the text boxes' menus, the command line's help and
// complaints) from Qt's Polish catalogue, which travels inside the program so
// that they do not depend on the system's translation packages.

class QCoreApplication;

void usePolishTexts(QCoreApplication &app);
