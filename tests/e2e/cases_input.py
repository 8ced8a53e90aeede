"""What a user may throw at the program: too much text, characters the
display cannot show, letters in the clock, clicks on everything while an
upload runs. The fields keep only what the display can carry, and the frames
carry exactly what the fields show."""

import time
import unicodedata

import frames
from harness import check, check_equal, find, set_clipboard, text_of, wait_until
from windows import (EEPROM, RAM, RAM_DONE_101, UPLOAD, check_paced, close_and_check_end,
                     connect, wire)


def upload_rows(program, emulator, window, rows):
    """A RAM upload of just these rows, without parameters; returns its frames."""
    window.show_page(RAM)
    window.set_checked(window.parameters_check(RAM), False)
    for n in range(1, 9):
        window.set_checked(window.row_check(RAM, n), n in rows)
    before = len(emulator.frames())
    program.click(window.button(UPLOAD[RAM]))
    program.close_message(*RAM_DONE_101, timeout=30)
    return wire(emulator)[before:]


def case_eleven_characters_typed_or_pasted(case):
    program, emulator, window = connect(case)
    field1, field2, field3 = (window.text(RAM, n) for n in (1, 2, 3))
    program.type_into(field1, "abcdefghijkl")
    program.paste_into(field2, "ABCDEFGHIJKLMN")
    program.type_into(field3, "123456")
    set_clipboard("7890XYZ")
    program.key("End", "ctrl+v")
    expected = {1: "abcdefghij", 2: "ABCDEFGHIJ", 3: "1234567890"}
    for n, text in expected.items():
        wait_until(f"row {n} to hold {text!r}", lambda: text_of(window.text(RAM, n)) == text, 5)
    time.sleep(0.3)
    for n, text in expected.items():
        check_equal(text_of(window.text(RAM, n)), text, f"row {n} after more than 10 characters")
    sent = upload_rows(program, emulator, window, expected)
    check_equal([f.bytes for f in sent],
                [frames.ram_text(n, t) for n, t in expected.items()] + [frames.REFRESH],
                "frames of the ten-character rows")
    close_and_check_end(program, emulator)


PASTED = {
    1: ("A😀B", "AB"),
    2: ("漢字x", "x"),
    3: ("e\u0301te", "ete"),
    4: ("a\tb\x07c\nd", "abcd"),
    5: ("Zażółć😀gęślą jaźń", "Zażółćgęśl"),
    6: ("\u202eodwrót\u200b", "odwrót"),
}


def case_pasted_characters_the_display_cannot_show(case):
    """Emoji, CJK, combining marks, control and format characters pasted into
    screen texts: what stays in a field is at most 10 characters of the
    display's code page, the user's letters keep their order, and the frame
    carries exactly what the field shows."""
    program, emulator, window = connect(case)
    for n, (pasted, _) in PASTED.items():
        program.paste_into(window.text(RAM, n), pasted)
    time.sleep(0.5)
    shown = {}
    for n, (pasted, letters) in PASTED.items():
        text = text_of(window.text(RAM, n))
        shown[n] = text
        check(len(text) <= 10, f"row {n} holds {len(text)} characters: {text!r}")
        try:
            text.encode("cp1250")
        except UnicodeEncodeError:
            raise AssertionError(f"row {n} holds {text!r}, outside the display's code page")
        check(not any(unicodedata.category(c).startswith("C") for c in text),
              f"row {n} holds a control or format character: {text!r}")
        plain = unicodedata.normalize("NFD", text)
        plain = "".join(c for c in plain if not unicodedata.combining(c))
        want = unicodedata.normalize("NFD", letters)
        want = "".join(c for c in want if not unicodedata.combining(c))
        check_equal(plain, want, f"the letters kept in row {n} from {pasted!r}")
    case.note("pasted -> shown: " + ", ".join(f"{PASTED[n][0]!r} -> {t!r}"
                                              for n, t in shown.items()))
    sent = upload_rows(program, emulator, window, shown)
    check_equal([f.bytes for f in sent],
                [frames.ram_text(n, t) for n, t in shown.items()] + [frames.REFRESH],
                "frames of the pasted rows")
    close_and_check_end(program, emulator)


def case_clock_field_letters_and_partial_times(case):
    """Letters never enter the clock field, nor digits that would make an hour
    above 23 or a minute above 59; untyped places count as 0."""
    program, emulator, window = connect(case)
    clock = window.clock_field()
    send = window.button("Prześlij zegar")
    expected = []
    for typed, field in (("ab12", "12:  "), ("2a3b5", "23:5 "), ("29", "2 :  "),
                         ("1x6y:8z0", "16:0 ")):
        program.type_into(clock, typed)
        time.sleep(0.3)
        program.click(send)
        expected.append(frames.clock(field))
        emulator.wait_frames(1 + len(expected))
    check_equal([frames.describe(f.bytes) for f in wire(emulator)[1:]],
                [frames.describe(b) for b in expected], "clock frames")
    check_equal([f.bytes for f in wire(emulator)[1:]], expected, "clock frame bytes")
    close_and_check_end(program, emulator)


def case_rapid_clicks_on_every_button_during_an_upload(case):
    """While a RAM upload runs, every button is clicked again and again and
    the About window is opened and closed: the wire carries the upload's
    frames and nothing else, and one message ends it."""
    program, emulator, window = connect(case)
    for n in (1, 2):
        window.set_row(RAM, n, f"klik {n}")
    program.click(window.button(UPLOAD[RAM]))
    emulator.wait_frames(2)
    for name in ("Krótki dźwięk", "Włącz długi dźwięk", "Wyczyść ekrany", UPLOAD[RAM],
                 "Prześlij zegar"):
        program.click(window.button(name), times=5)
    window.show_page(EEPROM)
    program.click(window.button(UPLOAD[EEPROM]), times=5)
    program.click(window.button("O programie"))
    about = program.window("dialog", "O programie")
    program.click(find(about, "push button", "OK"))
    wait_until("the About window to close", lambda: not program.windows("dialog", "O programie"))
    window.show_page(RAM)
    program.click(window.button("Krótki dźwięk"), times=3)
    program.close_message(*RAM_DONE_101, timeout=40)
    time.sleep(1.5)
    check(not program.message_boxes(), f"a second message: {program.message_boxes()}")
    sent = wire(emulator)
    expected = ([frames.PROG, frames.ram_parameters("Na przemian", 8, 10, 10)]
                + [frames.ram_text(n, f"klik {n}" if n <= 2 else "") for n in range(1, 9)]
                + [frames.REFRESH])
    check_equal([frames.describe(f.bytes) for f in sent], [frames.describe(b) for b in expected],
                "frames of an upload under a hail of clicks")
    check_paced(sent, 1, len(sent) - 1)
    check_equal(window.long_beep().name, "Włącz długi dźwięk", "the long-beep caption")
    # Afterwards the buttons work again.
    program.click(window.button("Krótki dźwięk"))
    check_equal(emulator.wait_frames(len(expected) + 1)[-1].bytes, frames.SHORT_BEEP,
                "a short beep after the upload")
    close_and_check_end(program, emulator)
