/* How a Control Panel module is laid out here, the x86 twin and the ARM
   image alike (each in its linker's own PE format): GNU ld's default for a
   PE library, less what an applet without a C runtime never has, in six
   sections instead of seven (each section takes at least one 512-byte
   block of the file). GNU ld fills the export and import directories from
   the sections named .edata and .idata, so those names stay: what is only
   read, the export table and then the constants, shares .edata. The
   module's two handles keep a .data of their own: newer GNU ld makes
   .idata read-only. gcc names its sections in the PE manner (.rdata,
   .text$x), clang's ELF-flavoured output in the ELF one (.rodata.x,
   .bss.x): both are taken. The device kit's linker lays out a Platform
   Builder image by its own rules. */
SECTIONS
{
  . = SIZEOF_HEADERS;
  . = ALIGN(__section_alignment__);
  .text __image_base__ + (__section_alignment__ < 0x1000 ? . : __section_alignment__) :
  {
    *(.text)
    *(SORT(.text$*))
    *(.text.*)
  }
  .edata BLOCK(__section_alignment__) :
  {
    *(.edata)
    *(.rdata)
    *(SORT(.rdata$*))
    *(.rodata)
    *(.rodata.*)
  }
  .data BLOCK(__section_alignment__) :
  {
    *(.data)
    *(SORT(.data$*))
    *(.data.*)
    *(.bss)
    *(.bss.*)
    *(COMMON)
  }
  .idata BLOCK(__section_alignment__) :
  {
    /* In the order GNU ld's own script gives them. */
    KEEP (SORT(*)(.idata$2))
    KEEP (SORT(*)(.idata$3))
    LONG (0); LONG (0); LONG (0); LONG (0); LONG (0);
    KEEP (SORT(*)(.idata$4))
    __IAT_start__ = .;
    KEEP (SORT(*)(.idata$5))
    __IAT_end__ = .;
    KEEP (SORT(*)(.idata$6))
    KEEP (SORT(*)(.idata$7))
  }
  .rsrc BLOCK(__section_alignment__) : SUBALIGN(4)
  {
    KEEP (*(.rsrc))
    KEEP (*(.rsrc$*))
  }
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
  /DISCARD/ :
  {
    *(.drectve)
    *(.note.GNU-stack)
  }
}
