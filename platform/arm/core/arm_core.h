/* The handheld's ARM processor: an emulated core (Unicorn's) that runs in
 * this process and sees the process's own memory at the same addresses, so
 * that a pointer means the same to the ARM code and to the stand-ins.
 *
 * The core lives in armcore.dll.so, a Winelib module: Wine loads it into
 * the process as it loads a DLL, and it calls Debian's Unicorn library
 * directly. Everything else of the ARM handheld is an ordinary Windows
 * library that calls the functions below, each plain C (cdecl). */
#ifndef ARM_CORE_H
#define ARM_CORE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ArmCore ArmCore;

/* ARM registers r0-r15 (r13 sp, r14 lr, r15 pc) and the CPSR, whose T bit
 * (0x20) is the Thumb state. */
typedef struct ArmRegisters {
    DWORD r[16];
    DWORD cpsr;
} ArmRegisters;

#define ARM_CPSR_THUMB 0x20u

/* What made a run stop. A run never stops without one of these: code
 * reaching memory with no code in it is how a call leaves the core, both
 * to an import and back to whoever called the ARM code. */
enum ArmStopReason {
    ARM_STOP_NO_CODE = 1,  /* a fetch from `address`, unmapped or not code */
    ARM_STOP_UNALIGNED,    /* a `size`-byte access at `address`, `write` or not */
    ARM_STOP_UNDEFINED,    /* an instruction the core lacks, at `pc` */
    ARM_STOP_READ_ONLY,    /* a write to read-only memory at `address` */
    ARM_STOP_UNMAPPED,     /* an access to memory the process has not got */
    ARM_STOP_OTHER         /* anything else the core reports: `error` */
};

typedef struct ArmStop {
    DWORD reason;
    DWORD address;
    DWORD size;
    DWORD write;
    DWORD pc;     /* the program counter when it stopped */
    DWORD last;   /* the last instruction the core began: the one that
                     faulted, or the jump or return that reached no code */
    DWORD error;  /* the emulator's own error code */
} ArmStop;

/* Memory protections, as the core enforces them. */
#define ARM_READ 1u
#define ARM_WRITE 2u
#define ARM_EXECUTE 4u

/* A core of the model named ("pxa270", "ti925t"), or NULL. */
ArmCore* arm_core_open(const char* model);
void arm_core_close(ArmCore* core);

/* Lets the core see the process's memory [address, address + size), page
 * aligned, with `protection`. Nonzero on success. */
int arm_core_map(ArmCore* core, DWORD address, DWORD size, DWORD protection);
int arm_core_unmap(ArmCore* core, DWORD address, DWORD size);

/* The instructions the core has executed since it was opened. */
unsigned long long arm_core_instructions(ArmCore* core);

/* Runs from `registers` until something stops it, and leaves the
 * registers as they then are. Other memory of the process that the code
 * reads or writes is mapped as it is touched, with the protection the
 * process gives it; arm_core_forget unmaps it again, for when the process
 * has run and may have freed it. */
void arm_core_run(ArmCore* core, ArmRegisters* registers, ArmStop* stop);
void arm_core_forget(ArmCore* core);

/* What the emulator's error code means. */
const char* arm_core_error_text(DWORD error);

/* The emulator's version, "MAJOR.MINOR.PATCH". */
const char* arm_core_version(void);

#ifdef __cplusplus
}
#endif

#endif
