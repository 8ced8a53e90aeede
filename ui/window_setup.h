#pragma once

// Window layout in twips (1/1440 inch), the unit every element's position and
// size is given in, and the fixed, centred window the program's windows are.

#include <QRect>

class QWidget;

// 15 twips to a pixel on a 96 dpi screen; Qt's device-independent pixels take
// care of screens with another pixel ratio.
inline constexpr int TwipsPerPixel = 15;

int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);

// A client area of the given size that cannot be resized, a title bar with the
// close box and without minimise and maximise buttons.
void setUpFixedWindow(QWidget *window, int widthTwips, int heightTwips);

// Puts the window in the middle of the available area of its screen.
void centreOnScreen(QWidget *window);
