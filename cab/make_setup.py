#!/usr/bin/env python3
"""Writes the setup file (the cabinet's .000 file) that tells wceload on a
handheld what the CAB installs, in the layout the Windows CE installation
cabinet format gives: the application's and the provider's names, the
processor, the range of Windows CE versions, the directories, the files
and the registry entries.

    make_setup.py OUTPUT --app NAME --provider NAME --processor N
                  --os-min MAJOR.MINOR --os-max MAJOR.MINOR
                  --file NUMBER DIRECTORY NAME FLAGS ...
                  --key ROOT\\PATH --dword NAME=VALUE ... --dword-flags FLAGS

DIRECTORY is a path such as %CE2% (the Windows folder); NUMBER is the file's
three-digit extension in the cabinet. Where the format gives a field whose
purpose is unknown, the value it says writers set is written.
"""
import argparse
import struct
import sys

HIVE_ROOTS = {"HKEY_CLASSES_ROOT": 1, "HKEY_CURRENT_USER": 2, "HKEY_LOCAL_MACHINE": 3,
              "HKEY_USERS": 4}
HEADER_SIZE = 100


def ascii(text):
    return text.encode("ascii") + b"\0"


class Strings:
    """The STRINGS section: each path member once, by its id."""

    def __init__(self):
        self.ids = {}

    def path(self, path):
        """A path as the string ids of its members, ended by 0."""
        ids = []
        for member in path.split("\\"):
            if member not in self.ids:
                self.ids[member] = len(self.ids) + 1
            ids.append(self.ids[member])
        return struct.pack("<%dH" % (len(ids) + 1), *ids, 0)

    def section(self):
        return b"".join(struct.pack("<HH", number, len(ascii(text))) + ascii(text)
                        for text, number in self.ids.items())


def version(text):
    major, minor = text.split(".")
    return int(major), int(minor)


def setup_file(options):
    strings = Strings()
    directories = {}
    dirs = files = b""
    for number, directory, name, flags in options.file:
        if directory not in directories:
            directories[directory] = len(directories) + 1
            spec = strings.path(directory)
            dirs += struct.pack("<HH", directories[directory], len(spec)) + spec
        files += struct.pack("<HHHIH", int(number), directories[directory], int(number),
                             int(flags, 0), len(ascii(name))) + ascii(name)

    root, _, path = options.key.partition("\\")
    spec = strings.path(path)
    hives = struct.pack("<HHHH", 1, HIVE_ROOTS[root], 0, len(spec)) + spec
    keys = b""
    for number, value in enumerate(options.dword, 1):
        name, _, data = value.partition("=")
        entry = ascii(name) + struct.pack("<I", int(data, 0))
        keys += struct.pack("<HHHIH", number, 1, 0, int(options.dword_flags, 0),
                            len(entry)) + entry

    app, provider, unsupported = ascii(options.app), ascii(options.provider), b""
    sections = [strings.section(), dirs, files, hives, keys, b""]
    counts = [len(strings.ids), len(directories), len(options.file), 1, len(options.dword), 0]
    offsets = []
    at = HEADER_SIZE
    body = b""
    for text in (app, provider):
        offsets.append(at)
        body += text
        at += len(text)
    section_offsets = []
    for section in sections:
        section_offsets.append(at)
        body += section
        at += len(section)
    os_min, os_max = version(options.os_min), version(options.os_max)
    header = struct.pack("<4sIIII", b"MSCE", 0, HEADER_SIZE + len(body), 0, 1)
    header += struct.pack("<7I", options.processor, os_min[0], os_min[1], os_max[0], os_max[1],
                          0, 0)
    header += struct.pack("<6H", *counts)
    header += struct.pack("<6I", *section_offsets)
    header += struct.pack("<8H", offsets[0], len(app), offsets[1], len(provider),
                          at if unsupported else 0, len(unsupported), 0, 0)
    assert len(header) == HEADER_SIZE
    return header + body


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--app", required=True)
    parser.add_argument("--provider", required=True)
    parser.add_argument("--processor", type=int, required=True)
    parser.add_argument("--os-min", required=True)
    parser.add_argument("--os-max", required=True)
    parser.add_argument("--file", nargs=4, action="append", required=True,
                        metavar=("NUMBER", "DIRECTORY", "NAME", "FLAGS"))
    parser.add_argument("--key", required=True)
    parser.add_argument("--dword", nargs="+", required=True)
    parser.add_argument("--dword-flags", required=True)
    options = parser.parse_args()
    with open(options.output, "wb") as output:
        output.write(setup_file(options))
    return 0


if __name__ == "__main__":
    sys.exit(main())
