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
        self._private_dev()
        self.put_device()
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

    def _private_dev(self):
        self.host_dev = host = os.path.join(self.work, "host-dev")
        os.mkdir(host)
        run("mount", "--rbind", "/dev", host)
        run("mount", "-t", "tmpfs", "-o", "mode=755", "none", "/dev")
        for name in ("null", "zero", "full", "random", "urandom", "tty", "ptmx"):
            st = os.stat(os.path.join(host, name))
            os.mknod(os.path.join("/dev", name), st.st_mode, st.st_rdev)
            os.chmod(os.path.join("/dev", name), st.st_mode & 0o777)
        for name in ("pts", "shm"):
            os.mkdir(os.path.join("/dev", name))
            run("mount", "--rbind", os.path.join(host, name), os.path.join("/dev", name))
        for name, target in (("fd", "/proc/self/fd"), ("stdin", "/proc/self/fd/0"),
                             ("stdout", "/proc/self/fd/1"), ("stderr", "/proc/self/fd/2")):
            os.symlink(target, os.path.join("/dev", name))

    def put_device(self):
        """The device's node, a plain file the emulator's pty is bound over."""
        if not os.path.lexists(self.device):
            open(self.device, "w").close()

    def take_device_away(self):
        """The device leaves the machine, as an unplugged adapter does: its
        node and its entry in the system's device list are gone."""
        subprocess.run(["umount", "-l", self.device], stderr=subprocess.DEVNULL)
        if os.path.lexists(self.device):
            os.unlink(self.device)
        self.list_port(False)

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
        # host-dev holds the machine's own /dev: unmounted first, and the
        # work folder is emptied file by file, never removed as a tree.
        subprocess.run(["umount", "-R", "-l", self.host_dev], stderr=subprocess.DEVNULL)
        for name in os.listdir(self.work):
            path = os.path.join(self.work, name)
            if os.path.isfile(path) and not os.path.islink(path):
                os.unlink(path)
        try:
            os.rmdir(self.host_dev)
            os.rmdir(self.work)
        except OSError:
            pass


# --- The display emulator -------------------------------------------------

class Frame:
    def __init__(self, index, at, data, reply):
        self.index, self.at, self.bytes, self.reply = index, at, data, reply

    def __repr__(self):
        from frames import describe
        return f"<{self.index} {describe(self.bytes)} at {self.at:.3f}>"


class Emulator:
    count = 0

    def __init__(self, program, machine, *options):
        self.machine = machine
        Emulator.count += 1
        self.record = os.path.join(machine.work, f"emulator-{Emulator.count}-record.txt")
        self.log_path = os.path.join(machine.work, f"emulator-{Emulator.count}-log.txt")
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
            subprocess.run(["umount", "-l", self.machine.device], stderr=subprocess.DEVNULL)
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
    count = 0

    def __init__(self, path, machine):
        self.path = path
        self.name = os.path.basename(path)
        self.machine = machine
        env = dict(os.environ)
        # The programs run on the X server like any desktop program, with
        # Qt's own switch for its accessibility bridge.
        env.pop("QT_QPA_PLATFORM", None)
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        Program.count += 1
        self.stderr_path = os.path.join(machine.work, f"{self.name}-{Program.count}-stderr.txt")
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


# --- Taking the port away between the port dialog's test-open and the main
#     window's own opening -------------------------------------------------

class PortGoneAfterTestOpen:
    """Takes the device away right after the port dialog's test-open, before
    the main window opens it again.

    The kernel reports nothing for opening a pty, but every opening of a
    serial port by the program goes through its lock file in /run/lock, a
    plain file; fanotify watches that. The first lock (the test-open) goes
    through; when it is let go, the device is taken away at once, and any
    later lock is held by the kernel until then and refused. The program
    cannot slip between the two."""

    FAN_CLOEXEC, FAN_CLASS_CONTENT = 0x01, 0x04
    FAN_MARK_ADD = 0x01
    FAN_CLOSE_WRITE, FAN_OPEN_PERM, FAN_EVENT_ON_CHILD = 0x08, 0x00010000, 0x08000000
    FAN_ALLOW, FAN_DENY = 0x01, 0x02

    def __init__(self, machine):
        import threading
        self.machine = machine
        self.lock_name = os.path.basename(machine.lock_path())
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.fanotify_init(self.FAN_CLOEXEC | self.FAN_CLASS_CONTENT, os.O_RDONLY)
        check(self.fd >= 0, f"fanotify_init: {os.strerror(ctypes.get_errno())}")
        libc.fanotify_mark.argtypes = [ctypes.c_int, ctypes.c_uint, ctypes.c_uint64,
                                       ctypes.c_int, ctypes.c_char_p]
        marked = libc.fanotify_mark(
            self.fd, self.FAN_MARK_ADD,
            self.FAN_CLOSE_WRITE | self.FAN_OPEN_PERM | self.FAN_EVENT_ON_CHILD, -100,
            os.path.dirname(machine.lock_path()).encode())
        check(marked == 0, f"fanotify_mark: {os.strerror(ctypes.get_errno())}")
        self.events = []
        self.stopping = False
        self.thread = threading.Thread(target=self._watch, daemon=True)
        self.thread.start()

    def _watch(self):
        import select
        import struct
        gone = False
        while not self.stopping:
            if not select.select([self.fd], [], [], 0.1)[0]:
                continue
            data = os.read(self.fd, 4096)
            offset = 0
            while offset + 24 <= len(data):
                length, _, _, _, mask, fd, _ = struct.unpack_from("IBBHQii", data, offset)
                offset += length
                ours = fd >= 0 and os.path.basename(os.readlink(f"/proc/self/fd/{fd}")) \
                    .startswith(self.lock_name)
                if ours and mask & self.FAN_CLOSE_WRITE and not gone:
                    self.machine.take_device_away()
                    gone = True
                    self.events.append("test-open over, device taken away")
                if mask & self.FAN_OPEN_PERM:
                    answer = self.FAN_DENY if ours and gone else self.FAN_ALLOW
                    if ours:
                        self.events.append("lock refused" if gone else "lock allowed")
                    os.write(self.fd, struct.pack("iI", fd, answer))
                if fd >= 0:
                    os.close(fd)

    def stop(self):
        # Once the group is closed the kernel lets every opening still held
        # go through.
        self.stopping = True
        self.thread.join()
        os.close(self.fd)


class PortHolder:
    """Another program that has the port open and locked the way Qt's serial
    ports lock it: a lock file in /run/lock naming a live process."""

    def __init__(self, machine):
        self.machine = machine
        self.device = open(machine.device, "rb", buffering=0)
        self.process = subprocess.Popen(["sleep", "600"], stdin=self.device)
        name = os.path.basename(os.path.realpath(f"/proc/{self.process.pid}/exe"))
        with open(machine.lock_path(), "w") as lock:
            lock.write(f"{self.process.pid}\n{name}\n{os.uname().nodename}\n")

    def release(self):
        self.process.kill()
        self.process.wait()
        self.device.close()
        if os.path.exists(self.machine.lock_path()):
            os.unlink(self.machine.lock_path())
