"""The ARM image's resources, found as the device's loader finds them: by
type, name and any language, through the resource directory of the image
as it lies in the emulated memory."""
import struct

from machine import IMAGE_BASE


class Resources:
    def __init__(self, pe):
        self.pe = pe
        self.found = {}   # (type, name) -> (address of the data entry, rva, size)
        for kind in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None).entries:
            for name in kind.directory.entries:
                for language in name.directory.entries:
                    data = language.data.struct
                    entry = pe.get_rva_from_offset(data.get_file_offset())
                    self.found.setdefault((kind.id, name.id),
                                          (IMAGE_BASE + entry, data.OffsetToData, data.Size))

    def entry(self, kind, name):
        found = self.found.get((kind, name))
        return found[0] if found else None

    def data(self, kind, name):
        found = self.found.get((kind, name))
        if not found:
            return None
        return self.pe.get_data(found[1], found[2])

    @staticmethod
    def menu_commands(menu):
        """The command ids of a menu template's top-level items, in order;
        a pop-up, with the items under it, is no command."""
        def items(at, top):
            commands = []
            while at < len(menu):
                flags = struct.unpack_from("<H", menu, at)[0]
                at += 2
                item = None
                if not flags & 0x10:
                    item = struct.unpack_from("<H", menu, at)[0]
                    at += 2
                while struct.unpack_from("<H", menu, at)[0]:
                    at += 2
                at += 2
                if flags & 0x10:
                    at, _ = items(at, False)
                elif top:
                    commands.append(item)
                if flags & 0x80:
                    break
            return at, commands

        return items(4 + struct.unpack_from("<H", menu, 2)[0], True)[1]
