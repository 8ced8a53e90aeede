"""The program's windows as the accessibility tree shows them, and the steps
every case takes: choosing the port, the handshake, closing."""

import time

import pyatspi

import frames
from harness import (Failure, check, check_equal, descendants, find, state, text_of,
                     wait_until)

ERROR_200 = ("Ostrzeżenie", "Błąd w komunikacji z wyświetlaczem !!!")
BUSY_201 = ("Ostrzeżenie",
            "Port zajęty przez inne urządzenie !!! Wybierz inny port do komunikacji.")
NO_PORTS_202 = ("Ostrzeżenie", "W systemie brak jest portów szeregowych !!!")
UNAVAILABLE_203 = ("Ostrzeżenie", "Wybrany port nie jest dostępny !!!")
EEPROM_DONE_100 = ("Informacja", "Programowanie EEPROMu zakończone.")
RAM_DONE_101 = ("Informacja", "Programowanie bieżące zakończone.")

RAM, EEPROM = "RAM", "EEPROM"
TEXTS_PANEL = {RAM: "Programowane treści", EEPROM: "Programowane ekrany"}
TAB = {RAM: "Programowanie bieżące", EEPROM: "Konfiguracja pamięci EEPROM"}
DEVICE_BUTTONS = ["Zaprogramuj EEPROM", "Prześlij nastawy i treść ekranów", "Krótki dźwięk",
                  "Włącz długi dźwięk", "Wyczyść ekrany"]
CLOCK_BUTTON = "Prześlij zegar"
UPLOAD = {RAM: "Prześlij nastawy i treść ekranów", EEPROM: "Zaprogramuj EEPROM"}


class MainWindow:
    def __init__(self, program):
        self.program = program
        self.node = program.main_window()
        # Walking the tree costs a round trip per element: walk it once and
        # keep the elements by their role and first name.
        self.nodes = {}
        for n in descendants(self.node):
            self.nodes.setdefault((n.getRoleName(), n.name), n)
        self._combos = {}

    def element(self, role, name):
        node = self.nodes.get((role, name))
        check(node is not None, f"no {role} {name!r} in the main window")
        return node

    def find(self, role, name):
        return self.nodes.get((role, name))

    def button(self, name):
        return self.element("push button", name)

    def text(self, memory, n):
        return self.element("text", f"Tekst ekranu {n} ({memory})")

    def row_check(self, memory, n):
        return self.element("check box", f"Zaznacz ekran {n} ({memory})")

    def parameters_check(self, memory):
        return self.element("check box", f"Zaznacz parametry ({memory})")

    def clock_field(self):
        return self.find("text", "Godzina zegara")

    def long_beep(self):
        return self.nodes.get(("push button", "Włącz długi dźwięk"))

    def combos(self, memory):
        """The page's lists in the window's order: scroll kind, speed,
        brightness and, on the RAM page, the number of screens."""
        if memory not in self._combos:
            texts = self.element("panel", TEXTS_PANEL[memory])
            page = texts.parent
            panel = [page.getChildAtIndex(i) for i in range(page.childCount)
                     if page.getChildAtIndex(i).name.strip() == "Parametry programowalne"][0]
            self._combos[memory] = [c for c in descendants(panel)
                                    if c.getRoleName() == "combo box"]
        return self._combos[memory]

    def show_page(self, memory):
        tab = self.element("page tab", TAB[memory])
        if self.selected_page() != memory:
            self.program.click(tab)
            wait_until(f"the page {TAB[memory]!r}",
                       lambda: state(self.element("panel", TEXTS_PANEL[memory]),
                                     pyatspi.STATE_SHOWING))

    def selected_page(self):
        for memory in (RAM, EEPROM):
            if state(self.element("panel", TEXTS_PANEL[memory]), pyatspi.STATE_SHOWING):
                return memory
        return None

    def choose(self, combo, item):
        """Opens the list with the mouse and clicks the item."""
        self.program.click(combo)
        items = combo.getChildAtIndex(0)
        wait_until("the list to open", lambda: state(items, pyatspi.STATE_SHOWING))
        entry = next(n for n in (items.getChildAtIndex(i) for i in range(items.childCount))
                     if n.name == item)
        # An item reaches past the narrow popup: click inside the popup.
        lx, _, lw, _ = items.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        _, y, _, h = entry.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        self.program.click_at(lx + min(lw // 2, 10), y + h // 2)
        wait_until(f"the list to show {item!r}", lambda: combo.name == item)

    def set_row(self, memory, n, text, checked=True):
        field = self.text(memory, n)
        # xdotool mistypes capitals outside ASCII (it sends Ó as ó): those
        # texts come in through the clipboard, as a user pastes them.
        if any(c.isupper() and not c.isascii() for c in text):
            self.program.paste_into(field, text)
        else:
            self.program.type_into(field, text)
        wait_until(f"the text {text!r} in row {n}", lambda: text_of(field) == text, 5)
        self.set_checked(self.row_check(memory, n), checked)

    def set_checked(self, box, checked):
        if state(box, pyatspi.STATE_CHECKED) != checked:
            self.program.click(box)
            wait_until("the check box to change",
                       lambda: state(box, pyatspi.STATE_CHECKED) == checked)

    def enabled(self, name):
        return state(self.button(name), pyatspi.STATE_ENABLED)

    def device_buttons_enabled(self):
        names = DEVICE_BUTTONS + ([CLOCK_BUTTON] if self.clock_field() else [])
        return {name: state(self.button(name), pyatspi.STATE_ENABLED) for name in names}

    def texts(self):
        """Every screen text field's text, by (memory, row)."""
        return {(memory, n): text_of(self.text(memory, n))
                for memory, rows in ((RAM, 8), (EEPROM, 5)) for n in range(1, rows + 1)}


def choose_port(program, expect_listed=True):
    """The port dialog: it lists COM1 for the one serial device; OK hands over."""
    dialog = program.dialog()
    combo = wait_until("the port list", lambda: find(dialog, "combo box", "COM1"))
    items = [n.name for n in descendants(combo) if n.getRoleName() == "list item"]
    check_equal(items, ["COM1"], "the ports listed")
    program.click(find(dialog, "push button", "OK"))
    return dialog


def connect(case, which="screenprog", emulator_options=()):
    """Starts the emulator and the program, confirms the port and waits for
    the handshake to succeed. Returns (program, emulator, main window)."""
    emulator = case.emulator(*emulator_options)
    program = case.start(which)
    choose_port(program)
    window = MainWindow(program)
    frames_seen = emulator.wait_frames(1)
    check_equal(frames_seen[0].bytes, frames.PROG, "the first frame")
    wait_until("the device buttons to be enabled",
               lambda: all(window.device_buttons_enabled().values()), 5)
    check(not program.message_boxes(), f"unexpected message {program.message_boxes()}")
    return program, emulator, window


def close_and_check_end(program, emulator, connected=True):
    """Closes the main window as the window manager's close box does: the
    program ends with status 0 and, when connected, KomendaKoniec arrives once
    and whole as the very last bytes."""
    before = len(emulator.frames())
    program.close_main_window()
    status = program.wait_exit()
    check_equal(status, 0, "the program's exit status")
    time.sleep(0.3)  # let the emulator read what the closed port drained
    after = emulator.frames()
    if connected:
        check_equal([f.bytes for f in after[before:]], [frames.END], "frames sent on closing")
        check_equal(sum(1 for f in after if f.bytes == frames.END), 1, "KomendaKoniec count")
    else:
        check_equal([f.bytes for f in after[before:]], [], "frames sent on closing")
    return after


def wire(emulator):
    """The frames the display received, and nothing else: every byte that
    reached it belongs to one of them."""
    received = emulator.frames()
    skipped = emulator.skipped()
    if skipped:
        raise Failure(f"bytes outside any frame reached the display: {skipped.hex(' ')}")
    return received


def check_paced(frames_seen, first, last, gap=1.4):
    """Between consecutive frames of an upload the program waits 0.7 s for
    the answer and 0.7 s again: at least 1.4 s from frame to frame. A small
    allowance covers the emulator's own reading delay."""
    for a, b in zip(frames_seen[first:last], frames_seen[first + 1:last + 1]):
        check(b.at - a.at >= gap - 0.01,
              f"{b!r} came only {b.at - a.at:.3f} s after {a!r} (at least {gap} s)")
