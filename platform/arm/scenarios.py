"""The table of scenarios both images run (tests/scenarios/applet.scenarios),
read as the x86 run reads it (tests/support/scenario_table.cpp); the format
is described at the top of the table."""
import struct

REG_DWORD, REG_SZ = 4, 1


class Step:
    def __init__(self, verb, words, line):
        self.verb = verb
        self.words = words
        self.line = line


class Scenario:
    def __init__(self, name, line):
        self.name = name
        self.line = line
        self.store_before = None          # None: no key at all
        self.failures = []                # (function, nth, error)
        self.steps = []
        self.store_checked = False
        self.store_after = None
        self.reloads = None
        self.driver = None
        self.journal_checked = False
        self.journal_prefixes = []
        self.journal = []
        self.journal_line = 0


class TableError(Exception):
    pass


def words(line):
    """Bare words, and "quoted text" with \\" \\\\ and \\uXXXX; # starts a
    comment outside quotes."""
    found = []
    i = 0
    while i < len(line):
        c = line[i]
        if c in " \t":
            i += 1
        elif c == "#":
            break
        elif c == '"':
            word = ""
            i += 1
            while i < len(line) and line[i] != '"':
                if line[i] != "\\":
                    word += line[i]
                elif line[i + 1:i + 2] == "u" and i + 5 < len(line):
                    word += chr(int(line[i + 2:i + 6], 16))
                    i += 5
                elif i + 1 < len(line):
                    i += 1
                    word += line[i]
                i += 1
            if i >= len(line):
                raise TableError("a quote is not closed")
            i += 1
            found.append(word)
        else:
            end = i
            while end < len(line) and line[end] not in " \t":
                end += 1
            found.append(line[i:end])
            i = end
    return found


def number(word):
    return int(word, 0) & 0xFFFFFFFF


def value(word):
    """NAME=NUMBER (a 4-byte REG_DWORD), NAME=sz:TEXT or NAME=TYPE:HEX, as
    (name, type, data)."""
    if "=" not in word:
        raise TableError("a value is not NAME=VALUE")
    name, rest = word.split("=", 1)
    if ":" not in rest:
        return (name, REG_DWORD, struct.pack("<I", number(rest)))
    kind, data = rest.split(":", 1)
    if kind == "sz":
        return (name, REG_SZ, (data + "\0").encode("utf-16-le"))
    return (name, number(kind), bytes.fromhex(data))


def expand(line, fragments):
    """A journal's line, with an @fragment and its arguments put in (a
    fragment may name another)."""
    text = line.strip()
    if not text or text.startswith("#"):
        return []
    if not text.startswith("@"):
        return [text]
    called = words(text[1:])
    if not called or called[0] not in fragments:
        raise TableError("no such fragment")
    expanded = []
    for entry in fragments[called[0]]:
        for i in range(len(called) - 1, 0, -1):
            entry = entry.replace("$%d" % i, called[i])
        expanded.extend(expand(entry, fragments))
    return expanded


def read(path):
    scenarios = []
    fragments = {}
    block = None
    journal_of = None
    with open(path, encoding="utf-8") as table:
        for number_, line in enumerate(table, 1):
            line = line.rstrip("\r\n")
            try:
                found = words(line)
                if block is not None:
                    if found == ["end"]:
                        block = journal_of = None
                    elif journal_of is not None:
                        block.extend(expand(line, fragments))
                    elif found:
                        block.append(line.strip())
                    continue
                if not found:
                    continue
                verb = found[0]
                if verb == "fragment" and len(found) == 2:
                    block = fragments.setdefault(found[1], [])
                    continue
                if verb == "scenario" and len(found) == 2:
                    scenarios.append(Scenario(found[1], number_))
                    continue
                if not scenarios:
                    raise TableError("a line outside a scenario")
                scenario = scenarios[-1]
                if verb == "store":
                    scenario.store_before = [value(w) for w in found[1:]]
                elif verb == "fail" and len(found) == 4:
                    scenario.failures.append((found[1], number(found[2]), number(found[3])))
                elif verb == "stored":
                    scenario.store_checked = True
                    if found[1:] != ["none"]:
                        scenario.store_after = [value(w) for w in found[1:]]
                elif verb == "reloads" and len(found) == 2:
                    scenario.reloads = number(found[1])
                elif verb == "driver" and len(found) == 5:
                    scenario.driver = [number(w) for w in found[1:]]
                elif verb == "journal":
                    scenario.journal_checked = True
                    scenario.journal_prefixes = found[1:]
                    scenario.journal_line = number_
                    block = scenario.journal
                    journal_of = scenario
                else:
                    scenario.steps.append(Step(verb, found[1:], number_))
            except (TableError, ValueError) as why:
                raise TableError("%s:%d: %s" % (path, number_, why))
    if block is not None:
        raise TableError("%s: a fragment or journal has no end" % path)
    return scenarios
