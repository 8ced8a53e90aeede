#include "cli/console.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool progressShown = false;

void write(FILE *stream, const QString &text)
{
#ifdef Q_OS_WIN
    // A console takes its own code page (852 on a Polish system, not 1250)
    // from byte output; wide characters reach it whatever it is set to.
    // Output to a file or a pipe is UTF-8.
    const HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        DWORD written = 0;
        WriteConsoleW(handle, reinterpret_cast<const wchar_t *>(text.utf16()), DWORD(text.size()),
                      &written, nullptr);
        return;
    }
#endif
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

namespace console {

void out(const QString &line)
{
    endProgress();
    write(stdout, line + u'\n');
}

void err(const QString &line)
{
    endProgress();
    write(stderr, line + u'\n');
}

bool errIsTerminal()
{
#ifdef Q_OS_WIN
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

void progress(const QString &text)
{
    // Back to the line's start: the counts only grow, so the new text covers the old.
    write(stderr, u'\r' + text);
    progressShown = true;
}

void endProgress()
{
    if (progressShown)
        write(stderr, QStringLiteral("\n"));
    progressShown = false;
}

} // namespace console
