"""Runs one group of end-to-end cases and prints one line per case and a
closing "N passed, N failed" line; exits 1 when a case failed.

    runner.py GROUP --screenprog PATH --noclock PATH --emulator PATH [--case NAME]
"""

import argparse
import importlib
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
from harness import Emulator, Failure, Machine, Program, check  # noqa: E402


class Case:
    """One case's programs and emulator, each cleaned up at its end."""

    def __init__(self, machine, options):
        self.machine = machine
        self.options = options
        self.programs = []
        self.emulators = []
        self.notes = []

    def emulator(self, *options):
        emulator = Emulator(self.options.emulator, self.machine, *options)
        self.emulators.append(emulator)
        return emulator

    def start(self, which="screenprog"):
        path = self.options.screenprog if which == "screenprog" else self.options.noclock
        program = Program(path, self.machine)
        self.programs.append(program)
        return program

    def note(self, text):
        self.notes.append(text)

    def finish(self, failed):
        problems = []
        for program in self.programs:
            if program.alive():
                if not failed:
                    problems.append(f"{program.name} was still running at the end of the case")
            program.stop()
            report = program.sanitizer_report()
            if report:
                problems.append(f"sanitizer report from {program.name}:\n{report}")
        for emulator in self.emulators:
            emulator.stop()
        self.machine.put_device()
        self.machine.list_port(True)
        if os.path.exists(self.machine.lock_path()):
            os.unlink(self.machine.lock_path())
        return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("group")
    parser.add_argument("--screenprog", required=True)
    parser.add_argument("--noclock", required=True)
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--case", action="append", default=[])
    options = parser.parse_args()

    module = importlib.import_module(f"cases_{options.group}")
    cases = [(name[5:], getattr(module, name)) for name in dir(module)
             if name.startswith("case_")]
    cases.sort(key=lambda c: c[1].__code__.co_firstlineno)
    if options.case:
        cases = [c for c in cases if c[0] in options.case]
        check(cases, f"no such case: {options.case}")

    machine = Machine()
    passed = failed = 0
    try:
        for name, body in cases:
            case = Case(machine, options)
            started = time.monotonic()
            problems = []
            try:
                body(case)
            except Failure as failure:
                problems.append(str(failure))
            except Exception:
                problems.append(traceback.format_exc())
            problems += case.finish(bool(problems))
            seconds = time.monotonic() - started
            for note in case.notes:
                print(f"       {name}: {note}")
            if problems:
                failed += 1
                print(f"FAIL   {name} ({seconds:.1f} s)")
                for problem in problems:
                    print("       " + problem.replace("\n", "\n       "))
                for emulator in case.emulators:
                    print("       the emulator's log:\n" + emulator.log_text())
                for program in case.programs:
                    with open(program.stderr_path, errors="replace") as f:
                        print(f"       {program.name}'s output:\n" + f.read()[-4000:])
            else:
                passed += 1
                print(f"PASS   {name} ({seconds:.1f} s)")
            sys.stdout.flush()
    finally:
        machine.close()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
