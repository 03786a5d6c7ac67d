"""The handheld's platform as the ARM image meets it: the calls it imports
from COREDLL and AYGSHELL, each doing what the platform does (as the x86
stand-ins give it under Wine), and journaled in their words, so that one
expected journal serves both images.

What is modelled: the registry (access masks and options ignored, types
and sizes as stored), the device manager with the keypad driver behind
"KPD1:", the dialog manager's side of a dialog built from the template in
the image's resources (controls and their texts, check boxes, up-down
ranges, GetDlgItemInt by the device's rules, EndDialog, finding and
bringing forward a window), the shell's full-screen set-up and menu bar,
the image's resources, and the C string functions. Any call can be made
to fail, as in the x86 tests.

This file dispatches the calls, journals them and keeps the windows; the
calls themselves are in store.py (the registry and the keypad driver) and
windowing.py (dialogs, the shell, resources, strings), their journal's
words in formats.py.
"""
import struct

import formats as show
import store
import windowing as calls
from machine import GuestCall
from win32 import HKEY_ROOTS, INVALID_HANDLE_VALUE, WM_DESTROY
from windowing import Window


class Journal:
    """Name(arguments) = result, in the order the calls were made; beside
    each, how many instructions the image had run when the call was made
    and when it returned."""

    def __init__(self, clock):
        self.clock = clock
        self.entries = []
        self.made = []
        self.answered = []

    def enter(self, name, arguments):
        self.entries.append("%s(%s)" % (name, ", ".join(arguments)))
        self.made.append(self.clock())
        self.answered.append(None)
        return len(self.entries) - 1

    def returned(self, entry, shown):
        self.entries[entry] += " = " + shown
        self.answered[entry] = self.clock()

    def clear(self):
        self.entries, self.made, self.answered = [], [], []


class Platform:
    """Every call the image may import, by DLL and name, and what the
    scenario's host and user do to it."""

    def __init__(self, contract):
        self.contract = contract
        self.journal = Journal(lambda: self.machine.instructions if self.machine else 0)
        self.registry = store.Registry()
        self.driver = store.KeypadDriver(self.registry, contract)
        self.failures = []       # [function, calls to go, error]
        self.windows = {}
        self.next_window = 0x00010000
        self.devices = {}
        self.next_device = 0xD000
        self.icons = {}          # the shared icons, by module and name
        self.foreground = None
        self.machine = None
        self.resources = None
        self.user = None         # runs the scenario's lines on an open dialog

    def attach(self, machine, resources):
        self.machine = machine
        self.resources = resources

    # Dispatch

    def serves(self, dll, name):
        return dll.upper() in ("COREDLL.DLL", "AYGSHELL.DLL") and name in CALLS

    def call(self, name, args):
        arguments, result_shown, failure, handler = CALLS[name]
        if name in UNJOURNALED:
            return handler(self, *args[:len(arguments)])
        shown = [written(self, args, i) if written is show.data_bytes else written(self, args[i])
                 for i, written in enumerate(arguments)]
        entry = self.journal.enter(name, shown)
        injected = self._injected(name)
        if injected:
            if failure == "error":
                value = injected
            elif callable(failure):
                value = failure(self, *args[:len(arguments)])
            else:
                value = failure
            self.journal.returned(entry, result_shown(self, value))
            return value
        outcome = handler(self, *args[:len(arguments)])
        if hasattr(outcome, "send"):
            return self._journaled(outcome, entry, result_shown)
        self.journal.returned(entry, result_shown(self, outcome))
        return outcome

    def _journaled(self, outcome, entry, result_shown):
        result = yield from outcome
        self.journal.returned(entry, result_shown(self, result))
        return result

    def _injected(self, name):
        error = 0
        for failure in list(self.failures):
            if failure[0] == name:
                failure[1] -= 1
                if failure[1] == 0:
                    error = failure[2]
                    self.failures.remove(failure)
        return error

    # How arguments and results are written

    def text(self, address):
        if not address:
            return "NULL"
        quoted = ""
        for c in self.machine.read_text(address):
            quoted += c if ord(c) < 0x80 else "\\u%04X" % ord(c)
        return '"%s"' % quoted

    def window_role(self, handle):
        window = self.windows.get(handle)
        if not handle:
            return "NULL"
        if window and window.kind == "dialog":
            return "dlg"
        if window and window.kind == "bar":
            return "bar"
        return "0x%X" % handle

    def key_role(self, handle):
        return HKEY_ROOTS.get(handle, "key" if handle else "NULL")

    # Windows

    def _new_window(self, kind, parent=None):
        window = Window(self.next_window, kind, parent)
        self.next_window += 4
        self.windows[window.handle] = window
        if parent:
            parent.children.append(window)
        return window

    def _destroy(self, window):
        for child in window.children:
            self._destroy(child)
        window.alive = False
        self.windows.pop(window.handle, None)

    def dialog_item(self, dialog, item):
        window = self.windows.get(dialog)
        if not window:
            return None
        for child in window.children:
            if child.id == item:
                return child
        return None

    def open_dialogs(self):
        return [w for w in self.windows.values() if w.kind == "dialog" and w.alive]

    def bar_of(self, dialog):
        for window in self.windows.values():
            if window.kind == "bar" and window.parent is dialog:
                return window
        return None

    def _dialog_from_template(self, address):
        """The dialog and its controls, as the template at `address` (the
        classic form) describes them."""
        read = self.machine.read
        style, _, count, _, _, _, _ = struct.unpack("<IIHhhhh", read(address, 18))
        at = address + 18

        def name_or_ordinal():
            nonlocal at
            first = struct.unpack("<H", read(at, 2))[0]
            if first == 0xFFFF:
                at += 4
                return struct.unpack("<H", read(at - 2, 2))[0]
            text = self.machine.read_text(at)
            at += 2 * (len(text) + 1)
            return text

        name_or_ordinal()                  # menu
        name_or_ordinal()                  # class
        dialog = self._new_window("dialog")
        dialog.text = name_or_ordinal()
        dialog.style = style
        if style & 0x40:                   # DS_SETFONT: point size and face
            at += 2
            name_or_ordinal()
        classes = {0x80: "button", 0x81: "edit", 0x82: "static"}
        for _ in range(count):
            at = (at + 3) & ~3
            item_style, _, _, _, _, _, item = struct.unpack("<IIhhhhH", read(at, 18))
            at += 18
            kind = name_or_ordinal()
            kind = classes.get(kind, kind) if isinstance(kind, int) else kind.lower()
            text = name_or_ordinal()
            extra = struct.unpack("<H", read(at, 2))[0]
            at += 2 + extra
            if kind not in ("button", "edit", "static", "msctls_updown32", "sippref"):
                self._destroy(dialog)
                return None
            control = self._new_window(kind, dialog)
            control.id = item
            control.style = item_style
            control.text = text if isinstance(text, str) else ""
        return dialog

    def send(self, dialog, procedure, message, wparam=0, lparam=0):
        """A message to the dialog's procedure in the image; what it
        answered. The dialog ends once its procedure has called EndDialog,
        as the dialog manager's loop ends it."""
        answer = yield GuestCall(procedure, dialog.handle, message, wparam, lparam)
        if dialog.ended is not None and dialog.alive:
            yield from self.destroy_dialog(dialog, procedure)
        return answer

    def destroy_dialog(self, dialog, procedure):
        dialog.alive = False
        yield GuestCall(procedure, dialog.handle, WM_DESTROY, 0, 0)
        self._destroy(dialog)


# Name: (argument formats, result format, what an injected failure returns
# ("error": the error itself, as the registry does; or a call doing what
# the failing call still does), handler).
CALLS = {
    "RegOpenKeyExW": (
        [show.key, show.text, show.dec, show.hexa, show.pointer],
        show.dec, "error", store.reg_open),
    "RegCreateKeyExW": (
        [show.key, show.text, show.dec, show.text, show.dec, show.hexa, show.pointer,
         show.pointer, show.pointer],
        show.dec, "error", store.reg_create),
    "RegQueryValueExW": (
        [show.key, show.text, show.pointer, show.pointer, show.pointer, show.pointed_dword],
        show.dec, "error", store.reg_query),
    "RegSetValueExW": (
        [show.key, show.text, show.dec, show.dec, show.data_bytes, show.dec],
        show.dec, "error", store.reg_set),
    "RegCloseKey": ([show.key], show.dec, "error", store.reg_close),
    "CreateFileW": (
        [show.text, show.hexa, show.dec, show.pointer, show.dec, show.hexa, show.pointer],
        show.handle, INVALID_HANDLE_VALUE, store.create_file),
    "DeviceIoControl": (
        [show.handle, show.hexa, show.pointer, show.dec, show.pointer, show.dec, show.pointer,
         show.pointer],
        show.dec, 0, store.device_io_control),
    "CloseHandle": ([show.handle], show.dec, 0, store.close_handle),
    "DisableThreadLibraryCalls": ([show.module], show.dec, 0,
                                  calls.disable_thread_library_calls),
    "LoadStringW": (
        [show.module, show.dec, show.pointer, show.sdec], show.sdec, 0, calls.load_string),
    "LoadIconW": ([show.module, show.resource], show.pointer, 0, calls.load_icon),
    "FindResourceW": (
        [show.module, show.resource, show.resource], show.pointer, 0, calls.find_resource),
    "LoadResource": ([show.module, show.pointer], show.pointer, 0, calls.load_resource),
    "FindWindowW": ([show.text, show.text], show.window, 0, calls.find_window),
    "SetForegroundWindow": ([show.window], show.dec, 0, calls.set_foreground_window),
    "DialogBoxIndirectParamW": (
        [show.module, show.pointer, show.window, show.pointer, show.sdec],
        show.sdec, 0xFFFFFFFF, calls.dialog_box),
    "EndDialog": ([show.window, show.sdec], show.dec, 0, calls.end_dialog),
    "SendDlgItemMessageW": (
        [show.window, show.sdec, show.hexa, show.dec, show.hexa],
        show.sdec, 0, calls.send_dlg_item_message),
    "SetDlgItemInt": (
        [show.window, show.sdec, show.dec, show.dec], show.dec, 0, calls.set_dlg_item_int),
    "GetDlgItemInt": (
        [show.window, show.sdec, show.pointer, show.dec],
        show.dec, calls.get_dlg_item_int_fails, calls.get_dlg_item_int),
    "SetWindowTextW": ([show.window, show.text], show.dec, 0, calls.set_window_text),
    "DestroyWindow": ([show.window], show.dec, 0, calls.destroy_window),
    "SHInitExtraControls": ([], show.dec, 0, calls.sh_init_extra_controls),
    "SHInitDialog": ([show.init_record], show.dec, 0, calls.sh_init_dialog),
    "SHCreateMenuBar": ([show.menu_bar_record], show.dec, 0, calls.sh_create_menu_bar),
    "wcscpy": ([show.pointer, show.pointer], show.pointer, 0, calls.wcscpy),
    "memset": ([show.pointer, show.dec, show.dec], show.pointer, 0, calls.memset),
    "memcpy": ([show.pointer, show.pointer, show.dec], show.pointer, 0, calls.memcpy),
}
UNJOURNALED = {"wcscpy", "memset", "memcpy"}
