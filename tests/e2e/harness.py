"""Runs the real programs as a user does: under Xvfb, with the display
emulator behind the machine's serial device, driven through the
accessibility tree, the mouse and the keyboard.

Everything here runs inside a private mount namespace (run_e2e starts it), so
the mounts below are seen by this process and its children only:
  - a tmpfs over /run/lock, so serial-port lock files of other runs and of the
    machine do not meet ours;
  - a tmpfs over /sys/class/tty holding only the one serial device the tests
    use (or none), so the program lists exactly that port as COM1;
  - the emulator's pseudo-terminal bound over that device's node in /dev.
"""

import ctypes
import ctypes.util
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

HERE = os.path.dirname(os.path.abspath(__file__))
POLL = 0.05


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


def wait_until(what, predicate, timeout=10.0):
    """Polls predicate until it returns something true; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = predicate()
        except Exception:  # the accessibility tree changes under our feet
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(POLL)


def run(*command):
    subprocess.run(command, check=True)


# --- The machine: mounts, the serial device, the accessibility bus ---------

class Machine:
    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="screenprog-e2e-")
        run("mount", "-t", "tmpfs", "none", "/run/lock")
        self.device_name, self.device_sysfs = self._pick_device()
        self.device = "/dev/" + self.device_name
        run("mount", "-t", "tmpfs", "none", "/sys/class/tty")
        self.made_node = False
        if not os.path.exists(self.device):
            # A mount point for the emulator's pty; removed again at the end.
            open(self.device, "w").close()
            self.made_node = True
        self.list_port(True)
        self.bus = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until("the accessibility bus", lambda: pyatspi.Registry.getDesktop(0) is not None)

    @staticmethod
    def _pick_device():
        """The machine's first serial device with a driver behind it, the kind
        Qt lists; ttyS0 when there is one."""
        names = sorted(os.listdir("/sys/class/tty"),
                       key=lambda n: (n != "ttyS0", not n.startswith("ttyS"), n))
        for name in names:
            real = os.path.realpath(os.path.join("/sys/class/tty", name))
            if os.path.exists(os.path.join(real, "device", "driver")):
                return name, real
        raise Failure("this machine has no serial device to stand in for")

    def list_port(self, listed):
        link = os.path.join("/sys/class/tty", self.device_name)
        if listed and not os.path.lexists(link):
            os.symlink(self.device_sysfs, link)
        elif not listed and os.path.lexists(link):
            os.unlink(link)

    def lock_path(self):
        return "/run/lock/LCK.." + self.device_name

    def close(self):
        self.bus.terminate()
        self.bus.wait()
        if self.made_node:
            subprocess.run(["umount", "-l", self.device], stderr=subprocess.DEVNULL)
            os.unlink(self.device)


# --- The display emulator -------------------------------------------------

class Frame:
    def __init__(self, index, at, data, reply):
        self.index, self.at, self.bytes, self.reply = index, at, data, reply

    def __repr__(self):
        from frames import describe
        return f"<{self.index} {describe(self.bytes)} at {self.at:.3f}>"


class Emulator:
    def __init__(self, program, machine, *options):
        self.machine = machine
        self.record = os.path.join(machine.work, "emulator-record.txt")
        self.log_path = os.path.join(machine.work, "emulator-log.txt")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([program, "--record", self.record, *options],
                                        stdout=self.log, stderr=subprocess.STDOUT)
        # The first line names the device.
        first = wait_until("the emulator's device",
                           lambda: (lambda t: t if t.endswith("\n") else None)(
                               open(self.log_path).readline()), 10)
        self.pty = first.strip()
        check(self.pty.startswith("/dev/"), f"the emulator gave no device: {self.pty!r}")
        run("mount", "--bind", self.pty, machine.device)
        self.bound = True

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(10)
        self.log.close()
        self.unbind()

    def unbind(self):
        if self.bound:
            subprocess.run(["umount", self.machine.device], check=True)
            self.bound = False

    def log_text(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()

    def lines(self):
        try:
            with open(self.record) as f:
                return [line.split() for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def frames(self):
        return [Frame(int(p[1]), float(p[2]), bytes.fromhex(p[3]), p[4])
                for p in self.lines() if p[0] == "frame"]

    def skipped(self):
        return b"".join(bytes.fromhex(p[2]) for p in self.lines() if p[0] == "skipped")

    def event_time(self, kind):
        for p in self.lines():
            if p[0] == kind:
                return float(p[1])
        return None

    def end(self):
        """The totals the emulator wrote on its way out."""
        for p in self.lines():
            if p[0] == "end":
                return {k: int(v) for k, v in (item.split("=") for item in p[2:])}
        raise Failure("the emulator wrote no totals")

    def wait_frames(self, count, timeout=10.0):
        return wait_until(f"{count} frames at the emulator",
                          lambda: (lambda f: f if len(f) >= count else None)(self.frames()),
                          timeout)


# --- X11: closing a window the way a window manager's close box does --------

class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _XClientMessage), ("pad", ctypes.c_long * 24)]


def close_window(window_id):
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    check(display, "cannot open the X display")
    event = _XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window_id
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    x11.XSendEvent(display, window_id, 0, 0, ctypes.byref(event))
    x11.XFlush(display)
    x11.XCloseDisplay(display)


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], check=True, capture_output=True,
                          text=True).stdout


def set_clipboard(text):
    """Owns the clipboard with this text, as a user's copy in another program
    does; xclip keeps serving it in the background."""
    subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=text.encode("utf-8"),
                   check=True)


# --- The program under test -----------------------------------------------

MAIN_TITLE = "Korvant - Programowanie systemu VELTA-ORSO"
DIALOG_TITLE = "Wybór portu szeregowego"
SANITIZER_REPORT = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer")


class Program:
    def __init__(self, path, machine):
        self.path = path
        self.name = os.path.basename(path)
        self.machine = machine
        env = dict(os.environ)
        # The programs run on the X server like any desktop program, with
        # Qt's own switch for its accessibility bridge.
        env.pop("QT_QPA_PLATFORM", None)
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.stderr_path = os.path.join(machine.work, f"{self.name}-stderr.txt")
        self.stderr = open(self.stderr_path, "w")
        self.started = time.monotonic()
        self.process = subprocess.Popen([path], env=env, stdout=self.stderr, stderr=self.stderr)
        self._app = None

    # The accessibility tree.

    def app(self):
        if self._app is None:
            desktop = pyatspi.Registry.getDesktop(0)
            for i in range(desktop.childCount):
                a = desktop.getChildAtIndex(i)
                try:
                    if a is not None and a.get_process_id() == self.process.pid:
                        self._app = a
                except Exception:
                    pass
        return self._app

    def windows(self, role=None, name=None):
        """The program's top-level windows on the screen."""
        app = self.app()
        found = []
        if app is None:
            return found
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is None or not w.getState().contains(pyatspi.STATE_SHOWING):
                continue
            if (role is None or w.getRoleName() == role) and (name is None or w.name == name):
                found.append(w)
        return found

    def window(self, role, name, timeout=10.0):
        return wait_until(f"window {name!r}",
                          lambda: (self.windows(role, name) or [None])[0], timeout)

    def main_window(self, timeout=10.0):
        return self.window("filler", MAIN_TITLE, timeout)

    def dialog(self, timeout=10.0):
        return self.window("dialog", DIALOG_TITLE, timeout)

    def message_boxes(self):
        """(title, text) of every message box on the screen."""
        boxes = []
        for w in self.windows("alert"):
            texts = [c.name for c in descendants(w) if c.getRoleName() == "label" and c.name]
            boxes.append((w.name, texts[0] if texts else ""))
        return boxes

    def wait_message(self, timeout=10.0):
        return wait_until("a message box", lambda: self.message_boxes(), timeout)[0]

    def close_message(self, expected_title, expected_text, timeout=10.0):
        """Checks the message box on the screen and presses its OK button;
        returns the time it was first seen."""
        title, text = self.wait_message(timeout)
        seen = time.monotonic()
        check_equal((title, text), (expected_title, expected_text), "message box")
        box = self.windows("alert")[0]
        ok = find(box, "push button", "OK")
        check(ok is not None, "the message box has no OK button")
        self.click(ok)
        wait_until("the message box to close", lambda: not self.windows("alert"))
        return seen

    # Acting as the user does.

    def click(self, node, times=1):
        """A real mouse click in the middle of the element."""
        x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        check(w > 0 and h > 0, f"{node.name!r} has no place on the screen")
        self.click_at(x + w // 2, y + h // 2, times)

    def click_at(self, x, y, times=1):
        # Not --sync: it waits for a motion that never comes when the pointer
        # is already there.
        xdotool("mousemove", x, y)
        xdotool("click", "--repeat", times, "--delay", 30, 1)

    def press(self, node):
        """The element's own action, as a screen reader presses it."""
        node.queryAction().doAction(0)

    def type_into(self, field, text):
        """Clicks into the field, selects what it holds and types text over it."""
        self.click(field)
        xdotool("key", "--clearmodifiers", "ctrl+a")
        if text:
            xdotool("type", "--delay", 20, text)
        else:
            xdotool("key", "BackSpace")

    def paste_into(self, field, text):
        """Clicks into the field, selects what it holds and pastes text over
        it from the clipboard with Ctrl+V."""
        set_clipboard(text)
        self.click(field)
        xdotool("key", "--clearmodifiers", "ctrl+a")
        xdotool("key", "--clearmodifiers", "ctrl+v")

    def key(self, *keys):
        xdotool("key", "--clearmodifiers", *keys)

    def close_main_window(self):
        ids = xdotool("search", "--all", "--pid", self.process.pid, "--name", "^Korvant").split()
        check(ids, "the main window has no X window")
        for window_id in ids:
            close_window(int(window_id))

    # The process.

    def alive(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=15.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def peak_memory_kib(self):
        with open(f"/proc/{self.process.pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
        raise Failure("no VmHWM")

    def stop(self):
        if self.alive():
            self.process.kill()
            self.process.wait()
        self.stderr.close()

    def sanitizer_report(self):
        with open(self.stderr_path, errors="replace") as f:
            text = f.read()
        return text if SANITIZER_REPORT.search(text) else None


def descendants(node):
    stack = [node]
    while stack:
        n = stack.pop()
        yield n
        try:
            children = [n.getChildAtIndex(i) for i in range(n.childCount)]
        except Exception:
            children = []
        stack.extend(c for c in reversed(children) if c is not None)


def find(node, role, name):
    for n in descendants(node):
        if n.getRoleName() == role and n.name == name:
            return n
    return None


def state(node, which):
    return node.getState().contains(which)


def text_of(node):
    t = node.queryText()
    return t.getText(0, t.characterCount)
