#pragma once

// The program's numbered messages, compiled in from resources/messages.txt.

#include <QList>
#include <QString>

// The text of message `number` exactly as the user sees it; empty for a number
// the table lacks.
QString messageText(int number);

// Every number the table holds, ascending.
QList<int> messageNumbers();
