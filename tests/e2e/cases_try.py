import frames
from windows import *  # noqa


def case_smoke(case):
    program, emulator, w = connect(case)
    w.choose(w.combos(RAM)[0], "Płynące")
    w.set_row(RAM, 1, "Zażółć")
    print(w.texts())
    close_and_check_end(program, emulator)
