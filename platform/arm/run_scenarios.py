#!/usr/bin/env python3
"""Runs the table of scenarios on the ARM image, on one of the ARM
handheld's processors, as the x86 run does on the x86 twin under Wine:

    run_scenarios.py --image keyboard.cpl --table applet.scenarios --cpu pxa270|ti925t
                     --contract KEY DEVICE RELOAD NAME=DEFAULT;... [--filter TEXT]

Each scenario gets a fresh handheld: the image loaded (DllMain's attach
done), the store and the failures as the scenario says. It prints a line
for each scenario and what differed, and exits 1 when any failed.
"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import scenarios  # noqa: E402
from machine import IMAGE_BASE, Fault, GuestCall, Machine  # noqa: E402
from platform_model import Platform  # noqa: E402
from win32 import BN_CLICKED, IDOK, SHIDIF_DONEBUTTON, WM_COMMAND, signed  # noqa: E402
from resources import Resources  # noqa: E402
from windowing import load_icon  # noqa: E402

MESSAGES = {"CPL_INIT": 1, "CPL_GETCOUNT": 2, "CPL_INQUIRE": 3, "CPL_SELECT": 4,
            "CPL_DBLCLK": 5, "CPL_STOP": 6, "CPL_EXIT": 7, "CPL_NEWINQUIRE": 8,
            "CPL_STARTWPARMSW": 10}
RECORD_SIZE = 468


class Contract:
    """What the applet and the keypad driver agree on, as the build reads
    it from the contract's header."""

    def __init__(self, key, device, reload, values):
        self.key = key
        self.device = device
        self.reload = int(reload, 0)
        self.values = [(v.split("=")[0], int(v.split("=")[1])) for v in values.split(";")]


def expected_result(words):
    return signed(scenarios.number(words[words.index("->") + 1])) if "->" in words else 0


class Handheld:
    """One scenario's handheld: the machine, its platform, the image."""

    def __init__(self, image, cpu, contract, scenario):
        self.platform = Platform(contract)
        self.contract = contract
        if scenario.store_before is not None:
            key = self.platform.registry.create(contract.key)
            for name, kind, data in scenario.store_before:
                key[name.lower()] = (name, kind, data)
        self.machine = Machine(image, cpu, self.platform)
        self.platform.attach(self.machine, Resources(self.machine.pe))
        self.applet = self.machine.export("CPlApplet")
        if self.machine.call(self.machine.entry_point(), IMAGE_BASE, 1, 0) != 1:
            raise Fault("DllMain refused the attach")
        self.platform.journal.clear()
        self.platform.failures = [[f, n, e] for f, n, e in scenario.failures]


class Run:
    def __init__(self, handheld, scenario, table):
        self.handheld = handheld
        self.scenario = scenario
        self.table = table
        self.failures = []
        self.record = None
        self.named = set()

    def fail(self, line, message):
        self.failures.append("%s:%d: %s" % (self.table, line, message))

    def expect(self, line, wanted, found, what):
        if wanted != found:
            self.fail(line, "%s: expected %r, found %r" % (what, wanted, found))

    # The host

    def cpl_arguments(self, step):
        arrow = step.words.index("->") if "->" in step.words else len(step.words)
        params = [0, 0]
        for p in range(1, min(arrow, 3)):
            if step.words[p] == "record":
                machine = self.handheld.machine
                buffer = machine.allocate(2 + RECORD_SIZE + 8)
                machine.write(buffer, b"\xFF" * (2 + RECORD_SIZE + 8))
                self.record = buffer
                self.named = set()
                params[p - 1] = buffer + 2
            else:
                params[p - 1] = scenarios.number(step.words[p])
        message = MESSAGES.get(step.words[0])
        return [0, message if message is not None else scenarios.number(step.words[0])] + params

    def cpl(self, step):
        result = self.handheld.machine.call(self.handheld.applet, *self.cpl_arguments(step))
        self.expect(step.line, expected_result(step.words), signed(result), step.words[0])

    def entry(self, step):
        machine = self.handheld.machine
        result = machine.call(machine.entry_point(), IMAGE_BASE, scenarios.number(step.words[0]), 0)
        self.expect(step.line, expected_result(step.words), signed(result), "entry")

    def check_record(self, step):
        machine = self.handheld.machine
        kind = step.words[0]
        if kind == "untouched":
            buffer = machine.read(self.record, 2 + RECORD_SIZE + 8)
            for i, byte in enumerate(buffer):
                if i not in self.named and byte != 0xFF:
                    self.fail(step.line, "byte %d of the record is 0x%02X" % (i - 2, byte))
            return
        at = scenarios.number(step.words[1])
        address = self.record + 2 + at
        if kind in ("dword", "word", "icon"):
            size = 2 if kind == "word" else 4
            found = int.from_bytes(machine.read(address, size), "little")
            self.named.update(range(2 + at, 2 + at + size))
            if kind == "icon":
                icon = load_icon(self.handheld.platform, IMAGE_BASE,
                                 scenarios.number(step.words[2]))
                if not icon or found != icon:
                    self.fail(step.line, "not the applet's icon at %d" % at)
            else:
                self.expect(step.line, scenarios.number(step.words[2]), found, "at %d" % at)
        elif kind == "text":
            wanted = (step.words[2] + "\0").encode("utf-16-le")
            self.expect(step.line, wanted, machine.read(address, len(wanted)), "text at %d" % at)
            self.named.update(range(2 + at, 2 + at + len(wanted)))
        else:
            self.fail(step.line, "no record check " + kind)

    # The user, on an open dialog

    def open(self, index):
        close = index + 1
        while close < len(self.scenario.steps) and self.scenario.steps[close].verb != "close":
            close += 1
        steps = self.scenario.steps[index + 1:close]
        self.handheld.platform.user = lambda dialog, procedure: self.in_dialog(
            dialog, procedure, steps)
        result = self.handheld.machine.call(self.handheld.applet, 0, MESSAGES["CPL_DBLCLK"], 0, 7)
        self.handheld.platform.user = None
        opened = self.scenario.steps[index]
        self.expect(opened.line, expected_result(opened.words), signed(result), "CPL_DBLCLK")
        return close

    def in_dialog(self, dialog, procedure, steps):
        platform = self.handheld.platform
        for step in steps:
            words = step.words
            control = (platform.dialog_item(dialog.handle, scenarios.number(words[0]))
                       if words and words[0].isdigit() else None)
            verb = step.verb
            if verb == "field":
                self.expect(step.line, words[1], control.text if control else None, "field")
            elif verb == "checked":
                self.expect(step.line, words[1] == "on",
                            bool(control and control.checked == 1), "check box")
            elif verb == "title":
                self.expect(step.line, words[0], dialog.text, "title")
            elif verb == "range":
                self.expect(step.line, (signed(scenarios.number(words[1])),
                                        signed(scenarios.number(words[2]))),
                            control.range if control else None, "range")
            elif verb == "type":
                if control:
                    control.text = words[1]
            elif verb == "check":
                if control:
                    control.checked = 1 if words[1] == "on" else 0
            elif verb == "command":
                yield from platform.send(dialog, procedure, WM_COMMAND, scenarios.number(words[0]))
            elif verb == "softkey":
                bar = platform.bar_of(dialog)
                keys = bar.keys if bar else []
                place = 0 if words[0] == "left" else 1
                if place < len(keys):
                    yield from platform.send(dialog, procedure, WM_COMMAND, keys[place])
                else:
                    self.fail(step.line, "no %s soft key" % words[0])
            elif verb == "ok":
                if dialog.alive and dialog.flags & SHIDIF_DONEBUTTON:
                    yield from platform.send(dialog, procedure, WM_COMMAND,
                                             IDOK | BN_CLICKED << 16)
                else:
                    self.fail(step.line, "no OK button in the title")
            elif verb == "key" and words == ["action"]:
                yield from platform.send(dialog, procedure, WM_COMMAND, IDOK)
            elif verb == "ends":
                if dialog.alive:
                    self.fail(step.line, "the dialog does not end")
            elif verb == "open":
                if not dialog.alive:
                    self.fail(step.line, "the dialog ended")
            elif verb == "foreground":
                self.expect(step.line, dialog.handle, platform.foreground, "the foreground")
            elif verb == "cpl":
                result = yield GuestCall(self.handheld.applet, *self.cpl_arguments(step))
                self.expect(step.line, expected_result(words), signed(result), words[0])
            else:
                self.fail(step.line, "no step %s in a dialog" % verb)

    # The scenario

    def go(self):
        steps = self.scenario.steps
        i = 0
        while i < len(steps):
            step = steps[i]
            if step.verb == "open":
                i = self.open(i)
            elif step.verb == "cpl":
                self.cpl(step)
            elif step.verb == "entry":
                self.entry(step)
            elif step.verb == "record":
                self.check_record(step)
            else:
                self.fail(step.line, "no step %s outside a dialog" % step.verb)
            i += 1
        self.check_journal()
        self.check_store()
        driver = self.handheld.platform.driver
        if self.scenario.reloads is not None:
            self.expect(self.scenario.line, self.scenario.reloads, driver.reloads, "reloads")
        if self.scenario.driver is not None:
            self.expect(self.scenario.line, self.scenario.driver, driver.values, "driver's values")

    def check_journal(self):
        if not self.scenario.journal_checked:
            return
        prefixes = self.scenario.journal_prefixes
        calls = [c for c in self.handheld.platform.journal.entries
                 if not prefixes or any(c.startswith(p) for p in prefixes)]
        wanted = self.scenario.journal
        if calls == wanted:
            return
        lines = []
        for i in range(max(len(calls), len(wanted))):
            made = calls[i] if i < len(calls) else "(none)"
            want = wanted[i] if i < len(wanted) else "(none)"
            lines.append(("    " if made == want else "  ! ") + made)
            if made != want:
                lines.append("      expected " + want)
        self.fail(self.scenario.journal_line, "the calls made:\n" + "\n".join(lines))

    def check_store(self):
        if not self.scenario.store_checked:
            return
        key = self.handheld.platform.registry.key(self.handheld.contract.key)
        if (key is None) != (self.scenario.store_after is None):
            self.fail(self.scenario.line, "the key: expected %s" %
                      ("none" if self.scenario.store_after is None else "one"))
            return
        if key is None:
            return
        found = sorted((name.lower(), kind, data) for name, kind, data in key.values())
        wanted = sorted((name.lower(), kind, data)
                        for name, kind, data in self.scenario.store_after)
        self.expect(self.scenario.line, wanted, found, "the stored values")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--image", required=True)
    parser.add_argument("--table", required=True)
    parser.add_argument("--cpu", required=True, choices=["pxa270", "ti925t"])
    parser.add_argument("--contract", nargs=4, required=True,
                        metavar=("KEY", "DEVICE", "RELOAD", "VALUES"))
    parser.add_argument("--filter", default="")
    options = parser.parse_args()
    contract = Contract(*options.contract)
    try:
        table = scenarios.read(options.table)
    except scenarios.TableError as why:
        print(why)
        return 2
    started = time.monotonic()
    failed = []
    ran = 0
    for scenario in table:
        if options.filter not in scenario.name:
            continue
        ran += 1
        print("[ RUN      ] %s on %s" % (scenario.name, options.cpu), flush=True)
        try:
            run = Run(Handheld(options.image, options.cpu, contract, scenario), scenario,
                      options.table)
            run.go()
            problems = run.failures
        except Fault as why:
            problems = ["%s:%d: the handheld faulted: %s" % (options.table, scenario.line, why)]
        for problem in problems:
            print(problem)
        if problems:
            failed.append(scenario.name)
            print("[  FAILED  ] %s" % scenario.name)
        else:
            print("[       OK ] %s" % scenario.name)
    print("%d scenarios on the %s in %.1f s; %d failed" %
          (ran, options.cpu.upper(), time.monotonic() - started, len(failed)))
    for name in failed:
        print("[  FAILED  ] %s" % name)
    if ran == 0:
        print("FAILED: no scenario was selected")
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
