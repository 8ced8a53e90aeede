#pragma once

// Standard input as the event loop hears it, without a thread: the lines
// that have come (the technician's Enter between two displays) and its end
// (Ctrl+D, a pipe or file read to its end). Each system's way is in
// input_lines_unix.cpp and input_lines_windows.cpp.

#include <QObject>

#include <algorithm>

class InputLines : public QObject
{
public:
    // Watches standard input from now on, while it lives.
    explicit InputLines(QObject *parent = nullptr);

    // Takes one line that has come; false when none waits.
    bool takeLine()
    {
        if (m_lines == 0)
            return false;
        --m_lines;
        return true;
    }
    // No more lines will come.
    bool atEnd() const { return m_ended; }
    // Standard input is a terminal, where a person presses Enter.
    static bool isTerminal();

private:
    // Counts the line ends among bytes read.
    void received(const char *bytes, qint64 size)
    {
        m_lines += int(std::count(bytes, bytes + size, '\n'));
    }

    int m_lines = 0;
    bool m_ended = false;
};
