"""How the platform model writes each argument and result in its journal,
as the x86 stand-ins write them: numbers, text, and handles by their role."""
import struct

from machine import IMAGE_BASE
from win32 import INVALID_HANDLE_VALUE, signed

# Each a function of the value, or of all the arguments and the argument's
# place (for a pointer whose size another argument gives).

def dec(platform, value):
    return str(value)


def sdec(platform, value):
    return str(signed(value))


def hexa(platform, value):
    return "0x%X" % value


def pointer(platform, value):
    return "ptr" if value else "NULL"


def text(platform, value):
    return platform.text(value)


def key(platform, value):
    return platform.key_role(value)


def window(platform, value):
    return platform.window_role(value)


def module(platform, value):
    if value == IMAGE_BASE:
        return "module"
    return "0x%X" % value if value else "NULL"


def resource(platform, value):
    return str(value) if value < 0x10000 else platform.text(value)


def pointed_dword(platform, value):
    return "&%d" % platform.machine.read_u32(value) if value else "NULL"


def data_bytes(platform, args, i):
    """The bytes at args[i], as many as the next argument says."""
    if not args[i]:
        return "NULL"
    return platform.machine.read(args[i], args[i + 1]).hex().upper()


def handle(platform, value):
    if value in platform.devices:
        return "dev"
    return "INVALID_HANDLE_VALUE" if value == INVALID_HANDLE_VALUE else "0x%X" % value


def init_record(platform, value):
    if not value:
        return "NULL"
    mask, dialog, flags = struct.unpack("<III", platform.machine.read(value, 12))
    return "&{0x%X, %s, 0x%X}" % (mask, platform.window_role(dialog), flags)


def menu_bar_record(platform, value):
    if not value:
        return "NULL"
    size = platform.machine.read_u32(value)
    fields = struct.unpack("<9I", platform.machine.read(value, 36))
    shown = [str(fields[0]), platform.window_role(fields[1]), "0x%X" % fields[2], str(fields[3]),
             module(platform, fields[4]), str(signed(fields[5])), str(signed(fields[6])),
             platform.window_role(fields[7]), "0x%X" % fields[8]]
    return "&{%s}" % ", ".join(shown[:min(size // 4, 9)])
