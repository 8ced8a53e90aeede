"""The programs doing their work, as a user drives them, against a display
that answers every frame."""

import time

import pyatspi

import frames
from harness import check, check_equal, find, state, text_of, wait_until
from windows import (EEPROM, EEPROM_DONE_100, RAM, RAM_DONE_101, UPLOAD, MainWindow,
                     check_paced, close_and_check_end, connect, wire)

RAM_ROWS = ["Cześć", "Zażółć", "gęślą jaźń", " spacja ", "ĄĘŁŃÓŚŹŻ", "", "0123456789", "mn"]
EEPROM_ROWS = ["Dzień", "dobry", "Łódź", "pominięty", "żółw"]
REFRESH_PERIOD = 28.0


def commands(emulator):
    """The frames after the handshake, refresh ticks left out: those come
    whenever the timer says, between anything else."""
    return [f for f in emulator.frames()[1:] if f.bytes != frames.REFRESH]


def upload_and_wait(program, window, memory, expected_message, emulator):
    """Presses the tab's upload button; returns the frames it sent and when
    its message box was first seen."""
    before = len(emulator.frames())
    program.click(window.button(UPLOAD[memory]))
    seen = program.close_message(*expected_message, timeout=30)
    return wire(emulator)[before:], seen


def case_full_program(case):
    started = time.localtime()
    program, emulator, window = connect(case, "screenprog")
    handshake = emulator.frames()[0]
    check_equal(window.selected_page(), RAM, "the page shown first")
    check_equal(len(window.device_buttons_enabled()), 6, "device buttons of screenprog")

    # The clock field starts at the time of day the program started.
    clock = window.clock_field()
    check(clock is not None, "screenprog has no clock field")
    shown = text_of(clock)
    ended = time.localtime()
    allowed = {time.strftime("%H:%M", started), time.strftime("%H:%M", ended)}
    check(shown in allowed, f"the clock field shows {shown!r}, not the start time {allowed}")

    # Immediate commands: each one frame, at once, without a message.
    program.click(window.button("Krótki dźwięk"))
    program.click(window.button("Wyczyść ekrany"))
    long_beep = window.long_beep()
    for caption in ["Wyłącz długi dźwięk", "Włącz długi dźwięk", "Wyłącz długi dźwięk"]:
        program.click(long_beep)
        wait_until(f"the long-beep caption {caption!r}", lambda: long_beep.name == caption, 5)
    program.type_into(clock, "1405")
    wait_until("the clock field to read 14:05", lambda: text_of(clock) == "14:05", 5)
    program.click(window.button("Prześlij zegar"))
    sent = wait_until("six command frames",
                      lambda: (lambda f: f if len(f) == 6 else None)(commands(emulator)))
    check_equal([f.bytes for f in sent],
                [frames.SHORT_BEEP, frames.CLEAR, frames.LONG_BEEP_ON, frames.LONG_BEEP_OFF,
                 frames.LONG_BEEP_ON, frames.clock("14:05")], "immediate command frames")
    check(not program.message_boxes(), "an immediate command showed a message")

    # Both pages filled in while the first refresh period runs.
    for n, text in enumerate(RAM_ROWS, 1):
        window.set_row(RAM, n, text)
    scroll, speed, brightness, screens = window.combos(RAM)
    window.choose(scroll, "Płynące")
    window.choose(screens, "3")
    window.choose(speed, "5")
    window.choose(brightness, "7")
    window.show_page(EEPROM)
    for n, text in enumerate(EEPROM_ROWS, 1):
        window.set_row(EEPROM, n, text, checked=(n != 4))
    scroll, speed, brightness = window.combos(EEPROM)
    window.choose(scroll, "Co znak")
    window.choose(speed, "1")
    window.choose(brightness, "3")

    # The refresh frame, 28 s after the handshake was acknowledged.
    first_refresh = wait_until(
        "the first refresh", lambda: next(f for f in emulator.frames()[7:]
                                          if f.bytes == frames.REFRESH), REFRESH_PERIOD + 5)
    after_handshake = first_refresh.at - handshake.at
    check(REFRESH_PERIOD + 0.7 - 0.05 <= after_handshake <= REFRESH_PERIOD + 2,
          f"the first refresh came {after_handshake:.3f} s after the handshake")
    check_equal(len(commands(emulator)), 6, "frames before the first refresh")

    # RAM upload: parameters, the eight screens, the closing refresh; paced.
    window.show_page(RAM)
    sent, seen = upload_and_wait(program, window, RAM, RAM_DONE_101, emulator)
    expected = [frames.ram_parameters("Płynące", 3, 5, 7)]
    expected += [frames.ram_text(n, t) for n, t in enumerate(RAM_ROWS, 1)]
    expected += [frames.REFRESH]
    check_equal([frames.describe(f.bytes) for f in sent], [frames.describe(b) for b in expected],
                "RAM upload frames")
    check_equal([f.bytes for f in sent], expected, "RAM upload bytes")
    check_paced(sent, 0, len(sent) - 1)
    check(seen - sent[-1].at >= 0.7 - 0.01,
          f"message 101 came {seen - sent[-1].at:.3f} s after the refresh frame")

    # EEPROM upload: row 4 unchecked is skipped without traffic.
    window.show_page(EEPROM)
    sent, seen = upload_and_wait(program, window, EEPROM, EEPROM_DONE_100, emulator)
    expected = [frames.eeprom_parameters("Co znak", 1, 3)]
    expected += [frames.eeprom_text(n, t) for n, t in enumerate(EEPROM_ROWS, 1) if n != 4]
    expected += [frames.REFRESH]
    check_equal([f.bytes for f in sent], expected, "EEPROM upload bytes")
    check_paced(sent, 0, len(sent) - 1)
    check(seen - sent[-1].at >= 0.7 - 0.01, "message 100 came too early")
    check_equal(window.texts()[(EEPROM, 4)], "pominięty", "the unchecked row's text")

    # The refresh timer keeps its period through the uploads.
    last = emulator.frames()[-1]
    next_refresh = wait_until(
        "the next refresh tick",
        lambda: next(f for f in emulator.frames() if f.index > last.index), REFRESH_PERIOD + 5)
    check_equal(next_refresh.bytes, frames.REFRESH, "the frame after the uploads")
    periods = (next_refresh.at - first_refresh.at) / REFRESH_PERIOD
    check(abs(periods - round(periods)) * REFRESH_PERIOD < 0.25 and round(periods) >= 1,
          f"refresh ticks {next_refresh.at - first_refresh.at:.3f} s apart, "
          f"not a multiple of {REFRESH_PERIOD} s")
    case.note(f"refresh ticks {first_refresh.at - handshake.at:.3f} s after the handshake and "
              f"{next_refresh.at - first_refresh.at:.3f} s apart")

    all_frames = close_and_check_end(program, emulator)
    check_equal(emulator.skipped(), b"", "bytes outside frames")
    emulator.stop()
    check_equal(emulator.end()["received"], sum(len(f.bytes) for f in all_frames),
                "bytes the display received")


def case_noclock_program(case):
    emulator = case.emulator()
    program = case.start("screenprog-noclock")
    # The port confirmed with Enter in the list, which has the focus.
    dialog = program.dialog()
    check(find(dialog, "combo box", "COM1") is not None, "COM1 is not offered")
    program.click(find(dialog, "label", "Port:"))
    program.key("Return")
    window = MainWindow(program)
    emulator.wait_frames(1)
    buttons = wait_until("five enabled device buttons",
                         lambda: (lambda b: b if all(b.values()) else None)(
                             window.device_buttons_enabled()), 5)
    check_equal(len(buttons), 5, "device buttons of screenprog-noclock")
    check_equal(window.selected_page(), EEPROM, "the page shown first")
    check(window.clock_field() is None, "screenprog-noclock shows a clock field")
    check(window.find("push button", "Prześlij zegar") is None,
          "screenprog-noclock has a clock button")

    # All EEPROM boxes clear: only the refresh frame, then message 100.
    window.set_checked(window.parameters_check(EEPROM), False)
    for n in range(1, 6):
        window.set_checked(window.row_check(EEPROM, n), False)
    sent, seen = upload_and_wait(program, window, EEPROM, EEPROM_DONE_100, emulator)
    check_equal([f.bytes for f in sent], [frames.REFRESH], "frames of an empty EEPROM upload")
    check(seen - sent[0].at >= 0.7 - 0.01, "message 100 came before the 0.7 s wait ended")

    # RAM: only screen 3 checked, parameters clear.
    window.show_page(RAM)
    window.set_checked(window.parameters_check(RAM), False)
    for n in range(1, 9):
        window.set_row(RAM, n, f"ekran {n}", checked=(n == 3))
    sent, _ = upload_and_wait(program, window, RAM, RAM_DONE_101, emulator)
    check_equal([f.bytes for f in sent], [frames.ram_text(3, "ekran 3"), frames.REFRESH],
                "frames of a one-screen RAM upload")
    check_paced(sent, 0, 1)

    before = len(emulator.frames())
    program.click(window.button("Krótki dźwięk"))
    program.click(window.button("Wyczyść ekrany"))
    check_equal([f.bytes for f in emulator.wait_frames(before + 2)[before:]],
                [frames.SHORT_BEEP, frames.CLEAR], "immediate commands")

    # The About window, modal, and back.
    window.show_page(EEPROM)
    program.click(window.button("O programie"))
    about = program.window("dialog", "O programie")
    check(find(about, "label", "Nazwa: screenprog-noclock") is not None, "About names the program")
    check(find(about, "label", "Wersja: 1.00") is not None, "About gives the version")
    program.click(find(about, "push button", "OK"))
    wait_until("the About window to close", lambda: not program.windows("dialog", "O programie"))

    check(all(f.bytes[4] != 80 for f in emulator.frames()), "a clock frame was sent")
    close_and_check_end(program, emulator)
