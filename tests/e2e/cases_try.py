import frames, time, pyatspi
from windows import *  # noqa
from harness import text_of

def case_smoke(case):
    program, emulator, w = connect(case)
    b = w.long_beep()
    t = time.monotonic()
    program.click(b)
    print("clicked", time.monotonic() - t)
    for i in range(10):
        t1 = time.monotonic(); n = b.name; print(round(time.monotonic() - t, 3), round(time.monotonic() - t1, 3), n)
        time.sleep(0.2)
    print(emulator.log_text())
    close_and_check_end(program, emulator)
