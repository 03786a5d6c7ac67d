"""The registry and the keypad driver behind "KPD1:", and the calls that
reach them: the registry with the semantics the COREDLL stand-in gives
(access masks and options ignored, types and sizes as stored), the device
manager's open, control and close."""
import struct

from win32 import (ERROR_FILE_NOT_FOUND, ERROR_INVALID_HANDLE, ERROR_MORE_DATA, HKLM,
                   INVALID_HANDLE_VALUE, REG_DWORD)


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
