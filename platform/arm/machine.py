"""The ARM handheld's processor and memory: the ARM image loaded as the
device's loader loads it, run on an emulated ARM core (Unicorn's PXA270,
the XScale of most Windows Mobile 5 Pocket PCs, or its TI925T, an ARMv4T
core as in the ARMV4I devices), with the device's faults.

The image is mapped at a base other than its preferred one, with its base
relocations applied, each section with its own protection; every import
is bound by name to the platform model, at an address of the model's own
where a code hook does the call's work and returns through lr. A fault
stops the run and is reported, not survived: a 16- or 32-bit access at an
address that is not a multiple of its size (the device traps them), an
instruction the core lacks, a jump anywhere but into the image's code or
the model, a write to code, an access outside the memory mapped, and a
stack overrun.
"""
import struct

import pefile
from unicorn import (UC_ARCH_ARM, UC_ERR_INSN_INVALID, UC_HOOK_CODE, UC_HOOK_MEM_INVALID,
                     UC_HOOK_MEM_READ,
                     UC_HOOK_MEM_WRITE, UC_MEM_FETCH_PROT, UC_MEM_FETCH_UNMAPPED, UC_MEM_WRITE,
                     UC_MEM_WRITE_PROT, UC_MODE_ARM, UC_PROT_EXEC, UC_PROT_READ, UC_PROT_WRITE,
                     Uc, UcError)
from unicorn import arm_const as arm

CPUS = {"pxa270": arm.UC_CPU_ARM_PXA270, "ti925t": arm.UC_CPU_ARM_TI925T}

IMAGE_BASE = 0x00400000       # not the image's preferred 0x10000000
MODEL_BASE = 0x00100000       # the platform model's entry points
MODEL_SIZE = 0x00010000
HEAP_BASE = 0x00200000        # what the host and the platform hand the image
HEAP_SIZE = 0x00040000
STACK_TOP = 0x00380000
STACK_SIZE = 0x00010000       # 64 KB, as a handheld's thread gets; unmapped below
RETURN_TRAP = MODEL_BASE      # where a call made from here returns to
UNDEFINED = 0xE7F000F0        # an undefined instruction, filling the model's pages

ARGUMENT_REGISTERS = [arm.UC_ARM_REG_R0, arm.UC_ARM_REG_R1, arm.UC_ARM_REG_R2,
                      arm.UC_ARM_REG_R3]


class Fault(Exception):
    """What the device would have trapped."""


class GuestCall:
    """Asked by a platform call that calls back into the image: a dialog's
    procedure, or the applet's entry while the host's dialog runs. The
    call's generator gets the image's answer."""

    def __init__(self, address, *args):
        self.address = address
        self.args = args


class Machine:
    def __init__(self, image_path, cpu, platform):
        self.platform = platform
        self.pe = pefile.PE(image_path)
        self.cpu = Uc(UC_ARCH_ARM, UC_MODE_ARM)
        self.cpu.ctl_set_cpu_model(CPUS[cpu])
        self.fault = None
        self.instructions = 0      # executed in the image
        self.pending = []          # platform calls waiting on the image, innermost last
        self.heap_next = HEAP_BASE
        self._load()
        self._hook()

    # Loading

    def _load(self):
        pe = self.pe
        if pe.FILE_HEADER.Machine != 0x1C0:
            raise Fault("the image is not for ARM (machine 0x%X)" % pe.FILE_HEADER.Machine)
        preferred = pe.OPTIONAL_HEADER.ImageBase
        # Where each import's slot lies, read before the base moves.
        self.imports = [(library.dll.decode(), imported.name, imported.address - preferred)
                        for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                        for imported in library.imports]
        pe.relocate_image(IMAGE_BASE)
        self.size = (pe.OPTIONAL_HEADER.SizeOfImage + 0xFFF) & ~0xFFF
        cpu = self.cpu
        cpu.mem_map(IMAGE_BASE, self.size, UC_PROT_READ)
        cpu.mem_write(IMAGE_BASE, bytes(pe.get_memory_mapped_image(ImageBase=IMAGE_BASE)))
        self.code = []
        for section in pe.sections:
            start = IMAGE_BASE + section.VirtualAddress
            size = (max(section.Misc_VirtualSize, 1) + 0xFFF) & ~0xFFF
            flags = section.Characteristics
            protection = UC_PROT_READ
            if flags & 0x20000000:
                protection |= UC_PROT_EXEC
                self.code.append((start, start + section.Misc_VirtualSize))
            if flags & 0x80000000:
                protection |= UC_PROT_WRITE
            cpu.mem_protect(start, size, protection)
        cpu.mem_map(MODEL_BASE, MODEL_SIZE, UC_PROT_READ | UC_PROT_EXEC)
        cpu.mem_write(MODEL_BASE, struct.pack("<I", UNDEFINED) * (MODEL_SIZE // 4))
        cpu.mem_map(HEAP_BASE, HEAP_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        cpu.mem_map(STACK_TOP - STACK_SIZE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        self._bind_imports()

    def _bind_imports(self):
        """Each import by name to a call of the model; one it lacks fails
        the load, naming it."""
        self.entries = {}
        address = MODEL_BASE + 0x100
        for dll, name, slot in self.imports:
            if name is None:
                raise Fault("%s is imported by ordinal; the model binds names" % dll)
            name = name.decode()
            if not self.platform.serves(dll, name):
                raise Fault("the platform has no %s!%s" % (dll, name))
            self.entries[address] = name
            self.write_u32(IMAGE_BASE + slot, address)
            address += 4

    def export(self, name):
        for symbol in self.pe.DIRECTORY_ENTRY_EXPORT.symbols:
            if symbol.name and symbol.name.decode() == name:
                return IMAGE_BASE + symbol.address
        raise Fault("the image exports no %s" % name)

    def entry_point(self):
        return IMAGE_BASE + self.pe.OPTIONAL_HEADER.AddressOfEntryPoint

    # Hooks

    def _hook(self):
        cpu = self.cpu
        cpu.hook_add(UC_HOOK_CODE, self._on_model, begin=MODEL_BASE,
                     end=MODEL_BASE + MODEL_SIZE - 1)
        cpu.hook_add(UC_HOOK_CODE, self._on_image, begin=IMAGE_BASE,
                     end=IMAGE_BASE + self.size - 1)
        cpu.hook_add(UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, self._on_access)
        cpu.hook_add(UC_HOOK_MEM_INVALID, self._on_invalid)

    def _stop(self, why):
        if self.fault is None:
            self.fault = why
        self.cpu.emu_stop()

    def _on_image(self, cpu, address, size, user):
        if not any(start <= address < end for start, end in self.code):
            self._stop("a jump to 0x%08X, in the image but not in its code" % address)
            return
        self.instructions += 1

    def _on_access(self, cpu, access, address, size, value, user):
        if size in (2, 4) and address % size:
            pc = cpu.reg_read(arm.UC_ARM_REG_PC)
            self._stop("an unaligned %d-bit %s at 0x%08X (pc 0x%08X)"
                       % (size * 8, "write" if access == UC_MEM_WRITE else "read", address, pc))

    def _on_invalid(self, cpu, access, address, size, value, user):
        pc = cpu.reg_read(arm.UC_ARM_REG_PC)
        if STACK_TOP - STACK_SIZE - 0x10000 <= address < STACK_TOP - STACK_SIZE:
            self._stop("a stack overrun at 0x%08X (pc 0x%08X)" % (address, pc))
        elif access in (UC_MEM_FETCH_PROT, UC_MEM_FETCH_UNMAPPED):
            self._stop("a jump to 0x%08X, outside the image's code and the platform" % address)
        elif access == UC_MEM_WRITE_PROT:
            self._stop("a write to read-only memory at 0x%08X (pc 0x%08X)" % (address, pc))
        else:
            self._stop("an access to unmapped memory at 0x%08X (pc 0x%08X)" % (address, pc))
        return False

    def _on_model(self, cpu, address, size, user):
        if address == RETURN_TRAP:
            self._returned(cpu.reg_read(arm.UC_ARM_REG_R0))
            return
        name = self.entries.get(address)
        if name is None:
            self._stop("a jump to 0x%08X, inside the platform but to no call" % address)
            return
        sp = cpu.reg_read(arm.UC_ARM_REG_SP)
        args = [cpu.reg_read(r) for r in ARGUMENT_REGISTERS] + self._stack_words(sp, 8)
        try:
            outcome = self.platform.call(name, args)
        except Fault as why:
            self._stop(str(why))
            return
        self._proceed({"lr": cpu.reg_read(arm.UC_ARM_REG_LR), "sp": sp, "call": outcome})

    # Calls between the host, the platform and the image

    def _proceed(self, frame, answer=None):
        """Runs a platform call until it answers its caller or asks the
        image for something."""
        call = frame["call"]
        if not hasattr(call, "send"):
            self._answer(frame, call)
            return
        try:
            request = call.send(answer)
        except StopIteration as done:
            self._answer(frame, done.value)
            return
        except Fault as why:
            self._stop(str(why))
            return
        self.pending.append(frame)
        self._enter(request.address, request.args)

    def _answer(self, frame, result):
        cpu = self.cpu
        cpu.reg_write(arm.UC_ARM_REG_R0, (result or 0) & 0xFFFFFFFF)
        cpu.reg_write(arm.UC_ARM_REG_SP, frame["sp"])
        cpu.reg_write(arm.UC_ARM_REG_PC, frame["lr"])

    def _enter(self, address, args):
        if len(args) > 4:
            raise Fault("a call into the image with more than four arguments")
        cpu = self.cpu
        for register, value in zip(ARGUMENT_REGISTERS, args):
            cpu.reg_write(register, value & 0xFFFFFFFF)
        cpu.reg_write(arm.UC_ARM_REG_LR, RETURN_TRAP)
        cpu.reg_write(arm.UC_ARM_REG_PC, address)

    def _returned(self, result):
        if not self.pending:
            self.cpu.emu_stop()
            self.result = result
            return
        frame = self.pending.pop()
        self._proceed(frame, result)

    def call(self, address, *args):
        """Calls the image from the host, with the stack empty; its answer,
        or Fault."""
        self.fault = None
        self.result = None
        cpu = self.cpu
        cpu.reg_write(arm.UC_ARM_REG_SP, STACK_TOP - 8)
        self._enter(address, args)
        try:
            cpu.emu_start(address, 0)
        except UcError as error:
            pc = cpu.reg_read(arm.UC_ARM_REG_PC)
            if error.errno == UC_ERR_INSN_INVALID:
                self._stop("an instruction the core lacks at 0x%08X" % pc)
            else:
                self._stop("%s at 0x%08X" % (error, pc))
        if self.fault is None and (self.pending or self.result is None):
            self.fault = "the image did not return"
        if self.fault is not None:
            self.pending = []
            raise Fault(self.fault)
        return self.result

    # Memory, as the platform reads and writes it

    def read(self, address, size):
        try:
            return bytes(self.cpu.mem_read(address, size))
        except UcError:
            raise Fault("the platform was handed 0x%08X, outside the memory mapped" % address)

    def write(self, address, data):
        try:
            self.cpu.mem_write(address, bytes(data))
        except UcError:
            raise Fault("the platform was handed 0x%08X, outside the memory mapped" % address)

    def read_u32(self, address):
        return struct.unpack("<I", self.read(address, 4))[0]

    def _stack_words(self, sp, count):
        """The words a call may take on the stack, as far as it goes."""
        words = []
        for i in range(count):
            try:
                words.append(struct.unpack("<I", bytes(self.cpu.mem_read(sp + 4 * i, 4)))[0])
            except UcError:
                words.append(0)
        return words

    def write_u32(self, address, value):
        self.write(address, struct.pack("<I", value & 0xFFFFFFFF))

    def read_text(self, address, limit=4096):
        """A zero-terminated UTF-16 string."""
        units = []
        while len(units) < limit:
            unit = struct.unpack("<H", self.read(address + 2 * len(units), 2))[0]
            if unit == 0:
                break
            units.append(unit)
        return "".join(map(chr, units))

    def allocate(self, size, alignment=4, offset=0):
        """Memory the host hands the image, at an address `offset` past a
        multiple of `alignment`."""
        address = (self.heap_next + alignment - 1) // alignment * alignment + offset
        self.heap_next = address + size
        if self.heap_next > HEAP_BASE + HEAP_SIZE:
            raise Fault("the host's memory is used up")
        return address
