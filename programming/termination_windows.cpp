// How a Windows program hears that it is to end: a console's Ctrl+C,
// Ctrl+Break and close, and the session's end for a console program.

#include "programming/termination_p.h"

#include <QObject>
#include <QWinEventNotifier>

#include <atomic>
#include <windows.h>

namespace {

// Set by the console's handler, which runs on a thread of its own.
HANDLE consoleEvent = nullptr;
std::atomic<int> consoleSignal{termination::Interrupt};
std::atomic<int> consoleEvents{0};

// Windows calls this for a console's Ctrl+C, Ctrl+Break and close only:
// CTRL_LOGOFF_EVENT and CTRL_SHUTDOWN_EVENT never reach a process that has
// loaded user32, as Qt Core does. The session's end comes to SessionWindow.
BOOL WINAPI onConsoleEvent(DWORD type)
{
    // The second event goes on to Windows' own handler, which ends the
    // process at once: a run that does not end after the first one can
    // still be stopped.
    if (consoleEvents++ > 0)
        return FALSE;
    const bool closing = type == CTRL_CLOSE_EVENT;
    consoleSignal = closing ? termination::Hangup : termination::Interrupt;
    SetEvent(consoleEvent);
    // The system ends the process as soon as the handler returns from a
    // close, within seconds anyway: the program ends itself meanwhile (the
    // closing frame, the port released) and this thread with it.
    if (closing)
        Sleep(INFINITE);
    return TRUE;
}

// Windows tells the session's end (shut-down, log-off) to top-level windows
// and, in a console program, to nothing else: a hidden one listens. Windows
// may end the process as soon as WM_ENDSESSION has been answered, so the end
// runs right there, in the event loop that delivered the message.
class SessionWindow : public QObject
{
public:
    SessionWindow(QObject *context, std::function<void(int)> end)
        : QObject(context), m_end(std::move(end))
    {
        static const ATOM windowClass = [] {
            WNDCLASSW windowClass = {};
            windowClass.lpfnWndProc = &SessionWindow::procedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"screenprog-session";
            return RegisterClassW(&windowClass);
        }();
        m_window = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", WS_OVERLAPPED, 0, 0, 0, 0,
                                   nullptr, nullptr, GetModuleHandleW(nullptr), this);
    }
    ~SessionWindow() override
    {
        if (m_window != nullptr)
            DestroyWindow(m_window);
    }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(creation->lpCreateParams));
        }
        auto *self = reinterpret_cast<SessionWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        // WM_QUERYENDSESSION gets the default answer, yes.
        if (message == WM_ENDSESSION && wParam != FALSE && self != nullptr) {
            self->m_end(termination::Hangup);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    std::function<void(int)> m_end;
};

// A console program, as the command line is, rather than a windowed one,
// whose ends come to its own windows, as the application about to quit.
bool isConsoleProgram()
{
    const auto *image = reinterpret_cast<const BYTE *>(GetModuleHandleW(nullptr));
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(image + dos->e_lfanew);
    return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

} // namespace

void watchTermination(QObject *context, const std::function<void(int)> &end)
{
    if (!isConsoleProgram())
        return;
    new SessionWindow(context, end);
    if (consoleEvent == nullptr) {
        consoleEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (consoleEvent == nullptr || !SetConsoleCtrlHandler(&onConsoleEvent, TRUE))
            return;
    }
    auto *notifier = new QWinEventNotifier(consoleEvent, context);
    QObject::connect(notifier, &QWinEventNotifier::activated, context,
                     [end] { end(consoleSignal.load()); });
}
