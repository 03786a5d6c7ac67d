#!/usr/bin/env python3
"""What the ARM image costs on the device's processor: for each of the
applet's operations, the instructions the image itself executes and the
platform calls it makes, on the PXA270 model. No clock is involved, so the
figures are the same on every run and every machine.

    costs.py --image keyboard.cpl --contract KEY DEVICE RELOAD VALUES [--budget FILE]

With --budget, it fails when a figure grows by more than a tenth over the
one the budget file gives beside its name ("NAME INSTRUCTIONS CALLS").
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import scenarios  # noqa: E402
from run_scenarios import RECORD_SIZE, Contract, Handheld  # noqa: E402
from win32 import WM_COMMAND  # noqa: E402

IDM_RESET, IDM_APPLY = 1010, 1011
STORE = [scenarios.value(v) for v in
         ("InitalDelay=300", "RepeatDelay=40", "KeyLight=1", "KeyLightDelay=7000")]


class Costs:
    def __init__(self, image, contract):
        scenario = scenarios.Scenario("costs", 0)
        scenario.store_before = STORE
        self.handheld = Handheld(image, "pxa270", contract, scenario)
        self.machine = self.handheld.machine
        self.journal = self.handheld.platform.journal
        self.figures = []

    def note(self, name, instructions, calls):
        self.figures.append((name, instructions, calls))

    def measure(self, name, operation):
        """The instructions and calls of `operation`, a generator run on the
        machine's behalf (or a plain function)."""
        start, first = self.machine.instructions, len(self.journal.entries)
        result = operation()
        if hasattr(result, "send"):
            result = yield from result
        self.note(name, self.machine.instructions - start, len(self.journal.entries) - first)
        return result

    def run(self):
        machine = self.machine
        record = machine.allocate(2 + RECORD_SIZE + 8) + 2
        start, first = machine.instructions, len(self.journal.entries)
        machine.call(self.handheld.applet, 0, 8, 0, record)
        self.note("CPL_NEWINQUIRE", machine.instructions - start, len(self.journal.entries) - first)

        platform = self.handheld.platform
        start, first = machine.instructions, len(self.journal.entries)

        def user(dialog, procedure):
            self.note("CPL_DBLCLK to the end of WM_INITDIALOG", machine.instructions - start,
                      len(self.journal.entries) - first)
            self.load(first)
            yield from self.measure("Apply", lambda: platform.send(
                dialog, procedure, WM_COMMAND, IDM_APPLY))
            yield from self.measure("Reset", lambda: platform.send(
                dialog, procedure, WM_COMMAND, IDM_RESET))

        platform.user = user
        machine.call(self.handheld.applet, 0, 5, 0, 7)
        order = ["CPL_NEWINQUIRE", "CPL_DBLCLK to the end of WM_INITDIALOG", "Load", "Apply",
                 "Reset"]
        return sorted(self.figures, key=lambda figure: order.index(figure[0]))

    def load(self, first):
        """Load: WM_INITDIALOG's work between the spin ranges' last call
        and the first field's: LoadKeyboardSettings and its calls."""
        entries = self.journal.entries
        ranges = [i for i in range(first, len(entries))
                  if entries[i].startswith("SendDlgItemMessageW(dlg, 1008, 0x465")]
        fields = [i for i in range(first, len(entries)) if entries[i].startswith("SetDlgItemInt(")]
        if not ranges or not fields:
            raise SystemExit("costs: the dialog's set-up is not what Load is measured between")
        begin, end = ranges[0], fields[0]
        self.note("Load", self.journal.made[end] - self.journal.answered[begin], end - begin - 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--image", required=True)
    parser.add_argument("--contract", nargs=4, required=True,
                        metavar=("KEY", "DEVICE", "RELOAD", "VALUES"))
    parser.add_argument("--budget")
    options = parser.parse_args()
    figures = Costs(options.image, Contract(*options.contract)).run()
    print("On the PXA270: instructions of the image, platform calls")
    for name, instructions, calls in figures:
        print("  %-40s %6d %3d" % (name, instructions, calls))
    if not options.budget:
        return 0
    budget = {}
    with open(options.budget) as lines:
        for line in lines:
            words = line.split("#")[0].rsplit(None, 2)
            if len(words) == 3:
                budget[words[0].strip()] = (int(words[1]), int(words[2]))
    over = []
    for name, instructions, calls in figures:
        if name not in budget:
            over.append("%s has no budget" % name)
            continue
        for what, found, allowed in (("instructions", instructions, budget[name][0]),
                                     ("platform calls", calls, budget[name][1])):
            if found * 10 > allowed * 11:
                over.append("%s: %d %s, more than a tenth over the budget's %d"
                            % (name, found, what, allowed))
    for problem in over:
        print("over budget: " + problem)
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
