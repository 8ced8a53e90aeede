// Watches top-level windows come and go on the X display for bench/run, with
// the time of each on the system's monotonic clock (the clock the display
// emulator records frames on):
//
//   screenprog-bench-xwatch COMMAND [ARG...]
//       starts COMMAND and prints, one line each as they happen:
//         start PID SECONDS        (taken just before COMMAND is started)
//         map WINDOW SECONDS TITLE (a top-level window became visible)
//         unmap WINDOW SECONDS
//         exit STATUS SECONDS      (COMMAND ended; so does the watch)
//   screenprog-bench-xwatch --now
//       prints the monotonic clock, to time a key press sent from a script.
//   screenprog-bench-xwatch --key WINDOW KEY
//       gives WINDOW the keyboard focus and presses KEY (an X key name such as
//       Return) as the keyboard does; prints the monotonic time of the press.
//   screenprog-bench-xwatch --close WINDOW
//       asks the window to close, as a window manager's close button does.
//
// Map events arrive from the X server as they happen, so the times carry no
// polling interval.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The window's title as UTF-8: _NET_WM_NAME, or WM_NAME when that is missing.
std::string title(Display *display, Window window)
{
    const Atom properties[] = {XInternAtom(display, "_NET_WM_NAME", False), XA_WM_NAME};
    for (const Atom property : properties) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data != nullptr) {
            std::string text(reinterpret_cast<const char *>(data), format == 8 ? count : 0);
            XFree(data);
            if (!text.empty())
                return text;
        }
    }
    return {};
}

// A window that vanished between its event and our question is no error.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

bool windowId(const char *argument, Window &window)
{
    char *end = nullptr;
    window = std::strtoul(argument, &end, 0);
    if (end != argument && *end == '\0')
        return true;
    std::fprintf(stderr, "not a window id: %s\n", argument);
    return false;
}

int pressKey(Display *display, const char *windowArgument, const char *key)
{
    Window window = None;
    if (!windowId(windowArgument, window))
        return 2;
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(key));
    if (code == 0) {
        std::fprintf(stderr, "no such key: %s\n", key);
        return 2;
    }
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    const double pressed = monotonicSeconds();
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
    std::printf("%.6f\n", pressed);
    return 0;
}

int closeWindow(Display *display, const char *argument)
{
    Window window = None;
    if (!windowId(argument, window))
        return 2;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return 0;
}

int watch(Display *display, char **command)
{
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);

    const double started = monotonicSeconds();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        // The watched program does not outlive its watch.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execvp(command[0], command);
        std::fprintf(stderr, "cannot start %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    std::printf("start %d %.6f\n", int(child), started);

    const int childFd = int(syscall(SYS_pidfd_open, child, 0));
    if (childFd < 0) {
        std::perror("pidfd_open");
        kill(child, SIGTERM);
        return 1;
    }
    pollfd fds[] = {{ConnectionNumber(display), POLLIN, 0}, {childFd, POLLIN, 0}};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            const double at = monotonicSeconds();
            // A withdrawn window also sends the root a copy of its unmap.
            if (event.xany.send_event)
                continue;
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                std::printf("map %lu %.6f %s\n", event.xmap.window, at,
                            title(display, event.xmap.window).c_str());
            } else if (event.type == UnmapNotify) {
                std::printf("unmap %lu %.6f\n", event.xunmap.window, at);
            }
        }
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            std::perror("poll");
            return 1;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            int status = 0;
            waitpid(child, &status, 0);
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::printf("exit %d %.6f\n", code, monotonicSeconds());
            return code;
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 2 && std::strcmp(argv[1], "--now") == 0) {
        std::printf("%.6f\n", monotonicSeconds());
        return 0;
    }
    const bool close = argc > 1 && std::strcmp(argv[1], "--close") == 0;
    const bool key = argc > 1 && std::strcmp(argv[1], "--key") == 0;
    if (argc < 2 || (close && argc != 3) || (key && argc != 4)) {
        std::fprintf(stderr,
                     "usage: %s COMMAND [ARG...] | --now | --key WINDOW KEY | --close WINDOW\n",
                     argv[0]);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const int status = close ? closeWindow(display, argv[2])
                       : key ? pressKey(display, argv[2], argv[3])
                             : watch(display, argv + 1);
    XCloseDisplay(display);
    return status;
}
