#pragma once

// The program's numbered messages, compiled in from resources/messages.txt.

#include <QString>

// The text of message `number` exactly as the user sees it; empty for a number
// the table lacks.
QString messageText(int number);
