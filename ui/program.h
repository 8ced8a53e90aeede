#pragma once

// What sets the two programs apart, and what both set up before their first
// window: their identity, Polish texts whatever the system's language, the
// windows' fonts and the icon.

#include <QFont>
#include <QIcon>
#include <QString>

class QApplication;
class QCoreApplication;

namespace program {

// True in screenprog, false in screenprog-noclock: the one build-time choice.
bool withClock();

// "screenprog" or "screenprog-noclock".
QString name();

// The name of the program's desktop entry, AppStream component and icon
// ("pl.korvant.screenprog"), also its window's application id on Wayland.
QString desktopId();

inline constexpr char version[] = SCREENPROG_VERSION; // the project's version, "1.00"
inline constexpr char company[] = SCREENPROG_COMPANY; // the version records' company name

// Name, version and organisation, the Polish locale and Qt's own Polish texts
// (buttons of message boxes, the text boxes' menus, the command line's help).
// Enough for answering the command line, which needs no window system.
void setUpTexts(QCoreApplication &app);

// setUpTexts, and the desktop entry's name, the default font and the window
// icon. Call once, before any window is made.
void setUp(QApplication &app);

// The display on its stand, with a clock in screenprog: 16 x 16 in 16
// colours, and 32 and 48 px for task bars; every window's icon. Desktop menus
// and docks take the larger sizes from the installed icon files, through the
// desktop entry; handing every window those too cost milliseconds at start.
QIcon icon();

// The font of every text without a font of its own. The layouts were drawn
// for a small dialog font; Qt's default on Linux is larger and would clip the
// labels, so the windows use Liberation Sans (Arial's metrics) at 7.5 pt.
QFont dialogFont();

// "Courier New" 9.75 pt for the screen texts, 12 pt bold for the clock field;
// where Courier New is missing, Liberation Mono has the same metrics.
QFont screenTextFont();
QFont clockFont();

} // namespace program
