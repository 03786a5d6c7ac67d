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
"""
import struct

from machine import IMAGE_BASE, GuestCall

HKEY_ROOTS = {0x80000000: "HKCR", 0x80000001: "HKCU", 0x80000002: "HKLM", 0x80000003: "HKU"}
HKLM = 0x80000002
INVALID_HANDLE_VALUE = 0xFFFFFFFF
REG_DWORD = 4

WM_DESTROY = 0x0002
WM_INITDIALOG = 0x0110
WM_COMMAND = 0x0111
BN_CLICKED = 0
IDOK = 1
IDCANCEL = 2
BM_GETCHECK = 0x00F0
BM_SETCHECK = 0x00F1
UDM_SETRANGE = 0x0465
SHIDIM_FLAGS = 0x1
SHIDIF_DONEBUTTON = 0x1
SHCMBF_EMPTYBAR = 0x1
SHCMBF_HMENU = 0x10
RT_STRING, RT_GROUP_ICON = 6, 14

ERROR_FILE_NOT_FOUND = 2
ERROR_INVALID_HANDLE = 6
ERROR_MORE_DATA = 234


def signed(value):
    return value - (1 << 32) if value & 0x80000000 else value


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


class Registry:
    """HKEY_LOCAL_MACHINE's keys and values: names case-insensitive, data
    as stored, whatever its type or size."""

    def __init__(self):
        self.keys = {}           # path (lower case) -> {name (lower case): (name, type, data)}
        self.handles = {}        # handle -> path
        self.next_handle = 0x1000

    def key(self, path):
        return self.keys.get(path.lower())

    def create(self, path):
        parts = path.split("\\")
        for i in range(1, len(parts) + 1):
            self.keys.setdefault("\\".join(parts[:i]).lower(), {})
        return self.keys[path.lower()]

    def delete(self, path):
        self.keys.pop(path.lower(), None)

    def open_handle(self, path):
        handle = self.next_handle
        self.next_handle += 4
        self.handles[handle] = path
        return handle

    def path_of(self, root, subkey):
        if root in self.handles:
            base = self.handles[root]
            return base + "\\" + subkey if subkey else base
        return subkey if root == HKLM else None


class KeypadDriver:
    """The keypad driver behind "KPD1:": it reads the settings key when it
    starts and on every reload request, each value that is not a 4-byte
    REG_DWORD taking the contract's default."""

    def __init__(self, registry, contract):
        self.registry = registry
        self.contract = contract
        self.reloads = 0
        self.values = None

    def read(self):
        key = self.registry.key(self.contract.key) or {}
        values = []
        for name, default in self.contract.values:
            stored = key.get(name.lower())
            dword = stored and stored[1] == REG_DWORD and len(stored[2]) == 4
            values.append(struct.unpack("<I", stored[2])[0] if dword else default)
        self.values = values

    def control(self, code):
        if code != self.contract.reload:
            return False
        self.read()
        self.reloads += 1
        return True


class Window:
    def __init__(self, handle, kind, parent=None):
        self.handle = handle
        self.kind = kind         # "dialog", "bar", or a control's class
        self.parent = parent
        self.text = ""
        self.style = 0
        self.id = 0
        self.checked = 0
        self.range = (100, 0)    # an up-down control's, as the platform starts it
        self.children = []
        self.alive = True
        self.ended = None        # a dialog's result, once EndDialog is called
        self.flags = 0           # what SHInitDialog made of a dialog
        self.keys = []           # a menu bar's soft keys: command ids


class Platform:
    """Every call the image may import, by DLL and name, and what the
    scenario's host and user do to it."""

    def __init__(self, contract):
        self.contract = contract
        self.journal = Journal(lambda: self.machine.instructions if self.machine else 0)
        self.registry = Registry()
        self.driver = KeypadDriver(self.registry, contract)
        self.failures = []       # [function, calls to go, error]
        self.windows = {}
        self.next_window = 0x00010000
        self.devices = {}
        self.next_device = 0xD000
        self.icons = 0x3000
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
        shown = [show(self, args, i) if show is data_bytes else show(self, args[i])
                 for i, show in enumerate(arguments)]
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


# How each argument is written: a function of the value, or of all the
# arguments and the argument's place (for a pointer whose size another
# argument gives).

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


# The calls. Each writes and reads the image's memory through the machine.

def reg_open(platform, root, subkey, options, access, result):
    path = platform.registry.path_of(root, platform.machine.read_text(subkey) if subkey else "")
    if path is None or platform.registry.key(path) is None:
        return ERROR_FILE_NOT_FOUND
    platform.machine.write_u32(result, platform.registry.open_handle(path))
    return 0


def reg_create(platform, root, subkey, reserved, key_class, options, access, security, result,
               disposition):
    path = platform.registry.path_of(root, platform.machine.read_text(subkey) if subkey else "")
    if path is None:
        return ERROR_INVALID_HANDLE
    existed = platform.registry.key(path) is not None
    platform.registry.create(path)
    platform.machine.write_u32(result, platform.registry.open_handle(path))
    if disposition:
        platform.machine.write_u32(disposition, 2 if existed else 1)
    return 0


def reg_query(platform, handle_, name, reserved, type_, data, size):
    path = platform.registry.handles.get(handle_)
    if path is None:
        return ERROR_INVALID_HANDLE
    key_ = platform.registry.key(path)
    stored = key_.get(platform.machine.read_text(name).lower() if name else "") if key_ else None
    if stored is None:
        return ERROR_FILE_NOT_FOUND
    machine = platform.machine
    if type_:
        machine.write_u32(type_, stored[1])
    room = machine.read_u32(size) if size else 0
    if size:
        machine.write_u32(size, len(stored[2]))
    if not data:
        return 0
    if room < len(stored[2]):
        return ERROR_MORE_DATA
    machine.write(data, stored[2])
    return 0


def reg_set(platform, handle_, name, reserved, type_, data, size):
    path = platform.registry.handles.get(handle_)
    if path is None or platform.registry.key(path) is None:
        return ERROR_INVALID_HANDLE
    value_name = platform.machine.read_text(name) if name else ""
    stored = platform.machine.read(data, size) if data else b""
    platform.registry.key(path)[value_name.lower()] = (value_name, type_, stored)
    return 0


def reg_close(platform, handle_):
    return 0 if platform.registry.handles.pop(handle_, None) is not None else ERROR_INVALID_HANDLE


def create_file(platform, name, access, share, security, disposition, flags, template):
    device = platform.machine.read_text(name) if name else ""
    if device.upper() != platform.contract.device.upper():
        return INVALID_HANDLE_VALUE
    if platform.driver.values is None:
        platform.driver.read()          # the device manager starts the driver once
    opened = platform.next_device
    platform.next_device += 4
    platform.devices[opened] = device
    return opened


def device_io_control(platform, device, code, input_, input_size, output, output_size, returned,
                      overlapped):
    return 1 if device in platform.devices and platform.driver.control(code) else 0


def close_handle(platform, device):
    return 0 if platform.devices.pop(device, None) is None else 1


def disable_thread_library_calls(platform, instance):
    return 1


def load_string(platform, instance, string_id, buffer, size):
    if instance != IMAGE_BASE:
        return 0
    block = platform.resources.data(RT_STRING, string_id // 16 + 1)
    if block is None:
        return 0
    at = 0
    for _ in range(string_id % 16):
        at += 2 + 2 * struct.unpack_from("<H", block, at)[0]
    length = struct.unpack_from("<H", block, at)[0]
    if length == 0 or size <= 0:
        return 0
    copied = min(length, size - 1)
    platform.machine.write(buffer, block[at + 2:at + 2 + 2 * copied] + b"\0\0")
    return copied


def load_icon(platform, instance, name):
    if instance != IMAGE_BASE or platform.resources.data(RT_GROUP_ICON, name) is None:
        return 0
    platform.icons += 4
    return platform.icons


def find_resource(platform, instance, name, type_):
    if instance != IMAGE_BASE:
        return 0
    return platform.resources.entry(type_, name) or 0


def load_resource(platform, instance, found):
    if instance != IMAGE_BASE or not found:
        return 0
    # The data entry's first field is the data's address in the image.
    return IMAGE_BASE + platform.machine.read_u32(found)


def find_window(platform, class_name, title):
    wanted_class = platform.machine.read_text(class_name) if class_name else None
    wanted_title = platform.machine.read_text(title) if title else None
    for dialog in platform.open_dialogs():
        if wanted_class in (None, "Dialog") and wanted_title in (None, dialog.text):
            return dialog.handle
    return 0


def set_foreground_window(platform, handle_):
    if handle_ not in platform.windows:
        return 0
    platform.foreground = handle_
    return 1


def dialog_box(platform, instance, template, owner, procedure, parameter):
    if not template:
        return 0xFFFFFFFF
    dialog = platform._dialog_from_template(template)
    if dialog is None:
        return 0xFFFFFFFF
    platform.foreground = dialog.handle
    focus = next((c for c in dialog.children if c.style & 0x00010000 and c.style & 0x10000000),
                 None)
    yield from platform.send(dialog, procedure, WM_INITDIALOG, focus.handle if focus else 0,
                             parameter)
    if dialog.alive and platform.user:
        yield from platform.user(dialog, procedure)
    if dialog.alive and dialog.ended is None:
        yield from platform.send(dialog, procedure, WM_COMMAND, IDCANCEL, 0)
    if dialog.alive:
        yield from platform.destroy_dialog(dialog, procedure)
    return dialog.ended if dialog.ended is not None else 0


def end_dialog(platform, handle_, result):
    window_ = platform.windows.get(handle_)
    if not window_ or window_.kind != "dialog":
        return 0
    window_.ended = result
    return 1


def send_dlg_item_message(platform, dialog, item, message, wparam, lparam):
    control = platform.dialog_item(dialog, signed(item))
    if control is None:
        return 0
    if message == UDM_SETRANGE and control.kind == "msctls_updown32":
        lower = struct.unpack("<h", struct.pack("<H", lparam >> 16))[0]
        upper = struct.unpack("<h", struct.pack("<H", lparam & 0xFFFF))[0]
        control.range = (lower, upper)
    elif message == BM_SETCHECK and control.kind == "button":
        control.checked = wparam
    elif message == BM_GETCHECK and control.kind == "button":
        return control.checked
    return 0


def set_dlg_item_int(platform, dialog, item, value, is_signed):
    control = platform.dialog_item(dialog, signed(item))
    if control is None:
        return 0
    control.text = str(signed(value) if is_signed else value)
    return 1


def parse_dialog_int(text, is_signed):
    """The device's rule: optional blanks, a minus sign in the signed form
    only, ASCII digits, optional blanks, nothing else, within the form's
    range; None when it does not translate."""
    body = text.strip(" \t")
    negative = is_signed and body.startswith("-")
    digits = body[1:] if negative else body
    if not digits or any(c not in "0123456789" for c in digits):
        return None
    magnitude = int(digits)
    limit = 0x80000000 if negative else (0x7FFFFFFF if is_signed else 0xFFFFFFFF)
    if magnitude > limit:
        return None
    return (-magnitude) & 0xFFFFFFFF if negative else magnitude


def get_dlg_item_int(platform, dialog, item, translated, is_signed):
    control = platform.dialog_item(dialog, signed(item))
    value = parse_dialog_int(control.text, is_signed) if control else None
    if translated:
        platform.machine.write_u32(translated, 0 if value is None else 1)
    return 0 if value is None else value


def set_window_text(platform, handle_, text_):
    window_ = platform.windows.get(handle_)
    if window_ is None:
        return 0
    window_.text = platform.machine.read_text(text_) if text_ else ""
    return 1


def destroy_window(platform, handle_):
    window_ = platform.windows.get(handle_)
    if window_ is None:
        return 0
    platform._destroy(window_)
    return 1


def sh_init_extra_controls(platform):
    return 1


def sh_init_dialog(platform, record):
    if not record:
        return 0
    mask, dialog, flags = struct.unpack("<III", platform.machine.read(record, 12))
    window_ = platform.windows.get(dialog)
    if window_ is None:
        return 0
    if mask & SHIDIM_FLAGS:
        window_.flags = flags
    return 1


def sh_create_menu_bar(platform, record):
    if not record:
        return 0
    machine = platform.machine
    size, parent, flags, menu_id, instance = struct.unpack("<5I", machine.read(record, 20))
    parent_window = platform.windows.get(parent)
    if size < 36 or parent_window is None:
        return 0
    keys = []
    if not flags & SHCMBF_EMPTYBAR:
        menu = platform.resources.data(4, menu_id) if instance == IMAGE_BASE else None
        if not flags & SHCMBF_HMENU or menu is None:
            return 0
        keys = platform.resources.menu_commands(menu)[:2]
    bar = platform._new_window("bar")
    bar.parent = parent_window
    bar.keys = keys
    machine.write_u32(record + 28, bar.handle)
    return 1


def wcscpy(platform, target, source):
    text_ = platform.machine.read_text(source)
    platform.machine.write(target, text_.encode("utf-16-le") + b"\0\0")
    return target


def memset(platform, target, value, size):
    platform.machine.write(target, bytes([value & 0xFF]) * size)
    return target


def memcpy(platform, target, source, size):
    platform.machine.write(target, platform.machine.read(source, size))
    return target


def get_dlg_item_int_fails(platform, dialog, item, translated, is_signed):
    if translated:
        platform.machine.write_u32(translated, 0)
    return 0


# Name: (argument formats, result format, what an injected failure returns
# ("error": the error itself, as the registry does; or a call doing what
# the failing call still does), handler).
CALLS = {
    "RegOpenKeyExW": ([key, text, dec, hexa, pointer], dec, "error", reg_open),
    "RegCreateKeyExW": ([key, text, dec, text, dec, hexa, pointer, pointer, pointer], dec, "error",
                        reg_create),
    "RegQueryValueExW": ([key, text, pointer, pointer, pointer, pointed_dword], dec, "error",
                         reg_query),
    "RegSetValueExW": ([key, text, dec, dec, data_bytes, dec], dec, "error", reg_set),
    "RegCloseKey": ([key], dec, "error", reg_close),
    "CreateFileW": ([text, hexa, dec, pointer, dec, hexa, pointer], handle, INVALID_HANDLE_VALUE,
                    create_file),
    "DeviceIoControl": ([handle, hexa, pointer, dec, pointer, dec, pointer, pointer], dec, 0,
                        device_io_control),
    "CloseHandle": ([handle], dec, 0, close_handle),
    "DisableThreadLibraryCalls": ([module], dec, 0, disable_thread_library_calls),
    "LoadStringW": ([module, dec, pointer, sdec], sdec, 0, load_string),
    "LoadIconW": ([module, resource], pointer, 0, load_icon),
    "FindResourceW": ([module, resource, resource], pointer, 0, find_resource),
    "LoadResource": ([module, pointer], pointer, 0, load_resource),
    "FindWindowW": ([text, text], window, 0, find_window),
    "SetForegroundWindow": ([window], dec, 0, set_foreground_window),
    "DialogBoxIndirectParamW": ([module, pointer, window, pointer, sdec], sdec, 0xFFFFFFFF,
                                dialog_box),
    "EndDialog": ([window, sdec], dec, 0, end_dialog),
    "SendDlgItemMessageW": ([window, sdec, hexa, dec, hexa], sdec, 0, send_dlg_item_message),
    "SetDlgItemInt": ([window, sdec, dec, dec], dec, 0, set_dlg_item_int),
    "GetDlgItemInt": ([window, sdec, pointer, dec], dec, get_dlg_item_int_fails,
                      get_dlg_item_int),
    "SetWindowTextW": ([window, text], dec, 0, set_window_text),
    "DestroyWindow": ([window], dec, 0, destroy_window),
    "SHInitExtraControls": ([], dec, 0, sh_init_extra_controls),
    "SHInitDialog": ([init_record], dec, 0, sh_init_dialog),
    "SHCreateMenuBar": ([menu_bar_record], dec, 0, sh_create_menu_bar),
    "wcscpy": ([pointer, pointer], pointer, 0, wcscpy),
    "memset": ([pointer, dec, dec], pointer, 0, memset),
    "memcpy": ([pointer, pointer, dec], pointer, 0, memcpy),
}
UNJOURNALED = {"wcscpy", "memset", "memcpy"}
