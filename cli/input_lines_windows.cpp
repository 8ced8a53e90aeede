// Standard input on Windows, looked at ten times a second: a console's key
// presses are peeked at and a line read only once Enter is among them; a
// pipe is read as far as it holds bytes; a file or NUL is read to its end.

#include "cli/input_lines.h"

#include <QTimer>

#include <windows.h>

namespace {

// Enter pressed in the console: its line can be read without waiting.
bool enterWaits(HANDLE console)
{
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(console, &count) || count == 0)
        return false;
    QList<INPUT_RECORD> records(count);
    if (!PeekConsoleInputW(console, records.data(), count, &count))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        const INPUT_RECORD &r = records[i];
        if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown &&
            r.Event.KeyEvent.wVirtualKeyCode == VK_RETURN)
            return true;
    }
    return false;
}

} // namespace

InputLines::InputLines(QObject *parent) : QObject(parent)
{
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll] {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode = 0, size = 0;
        char bytes[4096];
        if (input == nullptr || input == INVALID_HANDLE_VALUE) {
            m_ended = true;
        } else if (GetConsoleMode(input, &mode)) {
            if (!enterWaits(input))
                return;
            wchar_t line[1024];
            DWORD read = 0;
            // Ctrl+Z and Enter end a console's input.
            if (!ReadConsoleW(input, line, 1024, &read, nullptr) || (read > 0 && line[0] == 0x1A))
                m_ended = true;
            else
                ++m_lines;
        } else if (GetFileType(input) == FILE_TYPE_PIPE) {
            DWORD waiting = 0;
            if (!PeekNamedPipe(input, nullptr, 0, nullptr, &waiting, nullptr))
                m_ended = true;
            else if (waiting > 0 &&
                     ReadFile(input, bytes, qMin<DWORD>(waiting, sizeof bytes), &size, nullptr))
                received(bytes, size);
        } else if (ReadFile(input, bytes, sizeof bytes, &size, nullptr) && size > 0) {
            received(bytes, size);
        } else {
            m_ended = true;
        }
        if (m_ended)
            poll->stop();
    });
    poll->start(100);
}

bool InputLines::isTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
}
