"""The dialog manager's side of the dialog, the shell's, the image's
resources and the C string functions: the calls the applet makes of them,
on the windows the platform model keeps."""
import struct

from machine import IMAGE_BASE
from win32 import (BM_GETCHECK, BM_SETCHECK, IDCANCEL, RT_GROUP_ICON, RT_STRING, SHCMBF_EMPTYBAR,
                   SHCMBF_HMENU, SHIDIM_FLAGS, UDM_SETRANGE, WM_COMMAND, WM_INITDIALOG, signed)

# Where the icons' handles start: far from the windows', the devices' and
# any small number a fault might leave in the record.
ICON_HANDLES = 0x7F3A1C04


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
    """The module's icon, shared: the same handle each time it is asked
    for, as the platform gives one loaded by LoadIcon."""
    if instance != IMAGE_BASE or platform.resources.data(RT_GROUP_ICON, name) is None:
        return 0
    return platform.icons.setdefault((instance, name), ICON_HANDLES + 4 * len(platform.icons))


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
