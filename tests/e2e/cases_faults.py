"""A display that misbehaves, a port that is taken or goes away: every case
ends in the program's own message or its documented state, with the user's
texts still in their fields, no crash, and nothing on the wire that should
not be there."""

import time

import frames
from harness import (MAIN_TITLE, PortGoneAfterTestOpen, PortHolder, check, check_equal, find,
                     text_of, wait_until)
from windows import (BUSY_201, EEPROM, EEPROM_DONE_100, ERROR_200, NO_PORTS_202, RAM,
                     RAM_DONE_101, UNAVAILABLE_203, UPLOAD, MainWindow, choose_port,
                     close_and_check_end, connect, wire)

TYPED = {1: "Łąka", 2: "żółty", 3: "ćma"}
FLOOD = 1024 * 1024


def type_rows(window):
    for n, text in TYPED.items():
        window.set_row(RAM, n, text)


def expected_ram_upload():
    return ([frames.ram_parameters("Na przemian", 8, 10, 10)]
            + [frames.ram_text(n, TYPED.get(n, "")) for n in range(1, 9)] + [frames.REFRESH])


def check_texts_kept(window):
    texts = window.texts()
    for n in range(1, 9):
        check_equal(texts[(RAM, n)], TYPED.get(n, ""), f"RAM row {n} after the fault")


def handshake_fails(case, fault):
    """The display does not give the acknowledgement in time: the message
    comes before the main window is shown; the window then opens without a
    connection and closing it sends nothing."""
    emulator = case.emulator(*fault)
    program = case.start("screenprog")
    choose_port(program)
    program.wait_message()
    check(not program.windows("filler", MAIN_TITLE),
          "the main window was shown before the handshake's message")
    program.close_message(*ERROR_200)
    window = MainWindow(program)
    check(not any(window.device_buttons_enabled().values()),
          "device buttons enabled without a connection")
    window.set_row(RAM, 1, "nadal")
    check_equal(text_of(window.text(RAM, 1)), "nadal", "typing without a connection")
    check(program.alive(), "the program ended")
    close_and_check_end(program, emulator, connected=False)
    check_equal([f.bytes for f in wire(emulator)], [frames.PROG], "frames on the wire")


def case_handshake_silent(case):
    handshake_fails(case, ["--silent"])


def case_handshake_late(case):
    # Complete only after the 0.7 s wait has ended: the same as no answer.
    handshake_fails(case, ["--fault-at", "0:late=950"])


def case_handshake_wrong_byte(case):
    handshake_fails(case, ["--fault-at", "0:wrong-byte"])


def case_handshake_wrong_case(case):
    handshake_fails(case, ["--fault-at", "0:wrong-case"])


def case_handshake_partial(case):
    handshake_fails(case, ["--fault-at", "0:partial"])


def case_handshake_garbage(case):
    handshake_fails(case, ["--fault-at", "0:garbage=00ff0d0a4f4b6621"])


def upload_fails_at(case, index, fault):
    """The RAM upload stops at frame `index` (0 is the handshake, 1 the
    parameters, 2 to 9 the screens): nothing after it is sent, the waiting
    bytes are thrown away and message 200 is shown; the connection stays."""
    program, emulator, window = connect(case, emulator_options=["--fault-at", f"{index}:{fault}"])
    type_rows(window)
    program.click(window.button(UPLOAD[RAM]))
    seen = program.close_message(*ERROR_200, timeout=30)
    sent = wire(emulator)
    check_equal([f.bytes for f in sent[1:]], expected_ram_upload()[:index],
                "frames up to the unanswered one")
    check(seen - sent[-1].at >= 0.7 - 0.01,
          f"message 200 came {seen - sent[-1].at:.3f} s after the unanswered frame")
    time.sleep(1.5)  # a next frame of the broken sequence would be out by now
    check_equal(len(emulator.frames()), index + 1, "frames after the failure")
    check_texts_kept(window)
    check(all(window.device_buttons_enabled().values()),
          "a failed upload must leave the device commands enabled")
    return program, emulator, window


def case_upload_parameters_silent_then_again(case):
    program, emulator, window = upload_fails_at(case, 1, "silent")
    # The user starts it again by hand, and this time the display answers.
    program.click(window.button(UPLOAD[RAM]))
    program.close_message(*RAM_DONE_101, timeout=30)
    check_equal([f.bytes for f in wire(emulator)[2:]], expected_ram_upload(),
                "the repeated upload")
    close_and_check_end(program, emulator)


def case_upload_screen1_garbage(case):
    program, emulator, _ = upload_fails_at(case, 2, "garbage=deadbeef00112233")
    close_and_check_end(program, emulator)


def case_upload_screen2_wrong_byte(case):
    program, emulator, _ = upload_fails_at(case, 3, "wrong-byte")
    close_and_check_end(program, emulator)


def case_upload_screen3_late(case):
    program, emulator, _ = upload_fails_at(case, 4, "late=950")
    close_and_check_end(program, emulator)


def case_upload_screen5_wrong_case(case):
    program, emulator, _ = upload_fails_at(case, 6, "wrong-case")
    close_and_check_end(program, emulator)


def case_upload_screen8_partial(case):
    program, emulator, _ = upload_fails_at(case, 9, "partial")
    close_and_check_end(program, emulator)


def case_late_but_in_time_and_garbage_after(case):
    """Every answer 600 ms late, still inside the 0.7 s wait, and followed
    by noise: each frame counts as acknowledged. A wait that ended early would
    find no answer."""
    program, emulator, window = connect(
        case, emulator_options=["--late", "600", "--garbage-after", "00ff55aa"])
    window.show_page(EEPROM)
    for n in range(1, 6):
        window.set_row(EEPROM, n, f"ekran {n}")
    program.click(window.button(UPLOAD[EEPROM]))
    program.close_message(*EEPROM_DONE_100, timeout=30)
    expected = ([frames.eeprom_parameters("Na przemian", 10, 10)]
                + [frames.eeprom_text(n, f"ekran {n}") for n in range(1, 6)] + [frames.REFRESH])
    check_equal([f.bytes for f in wire(emulator)[1:]], expected, "EEPROM upload")
    close_and_check_end(program, emulator)


def case_closing_refresh_unanswered(case):
    """Only the closing refresh of an upload goes unanswered: its answer is
    read but not judged, so the upload still reports success."""
    program, emulator, window = connect(case, emulator_options=["--fault-at", "1:silent"])
    window.show_page(EEPROM)
    window.set_checked(window.parameters_check(EEPROM), False)
    for n in range(1, 6):
        window.set_checked(window.row_check(EEPROM, n), False)
    program.click(window.button(UPLOAD[EEPROM]))
    program.close_message(*EEPROM_DONE_100)
    check_equal([f.bytes for f in wire(emulator)], [frames.PROG, frames.REFRESH], "frames")
    close_and_check_end(program, emulator)


def flood_run(case, flood):
    """Connects, sends a short beep (after which the display may flood the
    line with noise), waits, then tries a RAM upload that the display does not
    answer properly. Returns the peak memory and the emulator."""
    options = ["--fault-at", "2:silent"]
    if flood:
        options += ["--flood", str(FLOOD), "--flood-at", "1"]
    program, emulator, window = connect(case, emulator_options=options)
    program.click(window.button("Krótki dźwięk"))
    emulator.wait_frames(2)
    time.sleep(3)  # the flood runs into the line meanwhile
    check(program.alive(), "the program ended under the flood")
    program.click(window.button(UPLOAD[RAM]))
    program.close_message(*ERROR_200, timeout=30)
    peak = program.peak_memory_kib()
    check_equal([f.bytes for f in wire(emulator)],
                [frames.PROG, frames.SHORT_BEEP, expected_ram_upload()[0]],
                "frames up to the failed upload")
    close_and_check_end(program, emulator)
    emulator.stop()
    return peak, emulator.end()


def case_noise_flood_keeps_memory_bounded(case):
    quiet_peak, _ = flood_run(case, flood=False)
    flood_peak, totals = flood_run(case, flood=True)
    case.note(f"peak memory {quiet_peak} KiB without noise, {flood_peak} KiB under a "
              f"{FLOOD} byte flood; the display got {totals['written']} bytes onto the line")
    check(totals["written"] > 16 * 1024, "the flood did not reach the line")
    check(flood_peak - quiet_peak < FLOOD // 1024,
          f"the flood raised peak memory by {flood_peak - quiet_peak} KiB")


def case_port_lost_during_upload(case):
    """The display's side of the line goes away after the second screen: the
    upload stops, message 200, the device commands are disabled for good."""
    program, emulator, window = connect(case, emulator_options=["--close-at", "3"])
    type_rows(window)
    program.click(window.button(UPLOAD[RAM]))
    program.close_message(*ERROR_200, timeout=30)
    check(emulator.event_time("closed") is not None, "the emulator did not close the device")
    check_equal([f.bytes for f in wire(emulator)[1:]], expected_ram_upload()[:3],
                "frames before the line went away")
    check_texts_kept(window)
    wait_until("the device commands to be disabled",
               lambda: not any(window.device_buttons_enabled().values()), 5)
    check(not program.message_boxes(), "a second message after the loss")
    close_and_check_end(program, emulator, connected=False)


def case_port_busy_at_test_open(case):
    """Another program holds the port: message 201, the dialog stays; once the
    other program has let go, the same choice goes through."""
    emulator = case.emulator()
    holder = PortHolder(case.machine)
    try:
        program = case.start("screenprog")
        dialog = choose_port(program)
        program.close_message(*BUSY_201)
        check(program.windows("dialog", dialog.name), "the port dialog closed after message 201")
        check(not program.windows("filler", MAIN_TITLE), "the main window opened on a busy port")
        check_equal(emulator.frames(), [], "frames through a busy port")
    finally:
        holder.release()
    program.click(find(dialog, "push button", "OK"))
    window = MainWindow(program)
    wait_until("the handshake", lambda: all(window.device_buttons_enabled().values()), 5)
    check_equal([f.bytes for f in wire(emulator)], [frames.PROG], "the handshake")
    close_and_check_end(program, emulator)


def case_port_gone_before_main_window(case):
    """The device goes away right after the port dialog's test-open, before
    the main window opens it: message 203, then the main window without a
    connection."""
    emulator = case.emulator()
    watcher = PortGoneAfterTestOpen(case.machine)
    try:
        program = case.start("screenprog")
        choose_port(program)
        try:
            program.close_message(*UNAVAILABLE_203)
        finally:
            case.note("watcher saw: " + ", ".join(watcher.events))
    finally:
        watcher.stop()
    check("test-open over, device taken away" in watcher.events, "the test-open was not seen")
    window = MainWindow(program)
    check(not any(window.device_buttons_enabled().values()),
          "device buttons enabled without a port")
    check_equal(emulator.frames(), [], "frames to a device that went away")
    close_and_check_end(program, emulator, connected=False)


def case_no_serial_ports(case):
    case.machine.list_port(False)
    emulator = case.emulator()
    program = case.start("screenprog")
    program.close_message(*NO_PORTS_202)
    window = MainWindow(program)
    check_equal(window.selected_page(), RAM, "the page shown first")
    check(not any(window.device_buttons_enabled().values()),
          "device buttons enabled without a port")
    window.show_page(EEPROM)
    program.click(window.button("O programie"))
    about = program.window("dialog", "O programie")
    program.click(find(about, "push button", "OK"))
    wait_until("the About window to close", lambda: not program.windows("dialog", "O programie"))
    close_and_check_end(program, emulator, connected=False)
    check_equal(emulator.frames(), [], "frames without a port")
