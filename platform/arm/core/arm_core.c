/* The handheld's ARM processor on Unicorn (see arm_core.h). Built with
 * winegcc: Unix code that Wine loads into the Windows process, so that
 * Unicorn's memory is the process's own. */
#include "arm_core.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unicorn/unicorn.h>

/* Called from mingw code, which keeps the stack aligned to 4 bytes only;
 * Unicorn, like all Linux code, expects 16. */
#define FROM_WINDOWS __attribute__((force_align_arg_pointer))

#define PAGE 0x1000u

struct ArmCore {
    uc_engine* uc;
    ArmStop* stop;        /* of the run in progress */
    unsigned long long instructions;
    DWORD last;           /* the instruction begun last */
    DWORD* lent;          /* pages of the process mapped as they were touched */
    size_t lentCount, lentSize;
};

static const struct {
    const char* name;
    int model;
} kModels[] = {
    {"pxa270", UC_CPU_ARM_PXA270},
    {"ti925t", UC_CPU_ARM_TI925T},
};

static DWORD ProgramCounter(uc_engine* uc)
{
    uint32_t pc = 0;
    uc_reg_read(uc, UC_ARM_REG_PC, &pc);
    return pc;
}

/* The first reason a run stops is the one it reports. */
static void Stop(ArmCore* core, DWORD reason, DWORD address, int size, int write)
{
    ArmStop* stop = core->stop;
    if (stop->reason)
        return;
    stop->reason = reason;
    stop->address = address;
    stop->size = size;
    stop->write = write;
    stop->pc = ProgramCounter(core->uc);
    stop->last = core->last;
    uc_emu_stop(core->uc);
}

/* The device traps a 16- or 32-bit access at an address that is not a
 * multiple of its size. */
static void OnAccess(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value,
                     void* user)
{
    (void)uc;
    (void)value;
    if ((size == 2 || size == 4) && address % size)
        Stop(user, ARM_STOP_UNALIGNED, (DWORD)address, size, type == UC_MEM_WRITE);
}

static DWORD ProtectionOf(DWORD windows)
{
    switch (windows & 0xFF) {
    case PAGE_READONLY:
    case PAGE_EXECUTE_READ:
    case PAGE_WRITECOPY:
    case PAGE_EXECUTE_WRITECOPY:
        return UC_PROT_READ;
    case PAGE_READWRITE:
    case PAGE_EXECUTE_READWRITE:
        return UC_PROT_READ | UC_PROT_WRITE;
    default:
        return UC_PROT_NONE;
    }
}

static int Lend(ArmCore* core, DWORD page)
{
    MEMORY_BASIC_INFORMATION info;
    DWORD protection;
    if (!VirtualQuery((const void*)(ULONG_PTR)page, &info, sizeof info) ||
        info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD))
        return 0;
    /* What the process lets run is still no code to the core. */
    protection = ProtectionOf(info.Protect);
    if (protection == UC_PROT_NONE ||
        uc_mem_map_ptr(core->uc, page, PAGE, protection, (void*)(ULONG_PTR)page) != UC_ERR_OK)
        return 0;
    if (core->lentCount == core->lentSize) {
        size_t size = core->lentSize ? core->lentSize * 2 : 16;
        DWORD* grown = realloc(core->lent, size * sizeof *grown);
        if (!grown) {
            uc_mem_unmap(core->uc, page, PAGE);
            return 0;
        }
        core->lent = grown;
        core->lentSize = size;
    }
    core->lent[core->lentCount++] = page;
    return 1;
}

/* Memory the process has but the core has not seen yet is lent to it, a
 * page at a time; everything else stops the run. */
static bool OnInvalid(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value,
                      void* user)
{
    ArmCore* core = user;
    DWORD first = (DWORD)address & ~(PAGE - 1);
    DWORD last = (DWORD)(address + (size ? size - 1 : 0)) & ~(PAGE - 1);
    (void)uc;
    (void)value;
    switch (type) {
    case UC_MEM_FETCH_UNMAPPED:
    case UC_MEM_FETCH_PROT:
        Stop(core, ARM_STOP_NO_CODE, (DWORD)address, size, 0);
        return false;
    case UC_MEM_WRITE_PROT:
        Stop(core, ARM_STOP_READ_ONLY, (DWORD)address, size, 1);
        return false;
    case UC_MEM_READ_UNMAPPED:
    case UC_MEM_WRITE_UNMAPPED: {
        uc_mem_region* regions;
        uint32_t count;
        int lent = 1;
        DWORD page;
        for (page = first; lent && page <= last; page += PAGE) {
            /* A page of a two-page access may be there already. */
            int mapped = 0;
            uint32_t i;
            if (uc_mem_regions(core->uc, &regions, &count) == UC_ERR_OK) {
                for (i = 0; i < count; ++i)
                    mapped |= regions[i].begin <= page && page <= regions[i].end;
                uc_free(regions);
            }
            lent = mapped || Lend(core, page);
        }
        if (lent)
            return true;
        Stop(core, ARM_STOP_UNMAPPED, (DWORD)address, size, type == UC_MEM_WRITE_UNMAPPED);
        return false;
    }
    default:
        Stop(core, ARM_STOP_UNMAPPED, (DWORD)address, size, 0);
        return false;
    }
}

static void OnInstruction(uc_engine* uc, uint64_t address, uint32_t size, void* user)
{
    ArmCore* core = user;
    (void)uc;
    (void)size;
    ++core->instructions;
    core->last = (DWORD)address;
}

FROM_WINDOWS ArmCore* arm_core_open(const char* model)
{
    ArmCore* core;
    uc_hook access, invalid, code;
    size_t i;
    for (i = 0; i < sizeof kModels / sizeof kModels[0]; ++i) {
        if (strcmp(kModels[i].name, model) == 0)
            break;
    }
    if (i == sizeof kModels / sizeof kModels[0])
        return NULL;
    core = calloc(1, sizeof *core);
    if (!core)
        return NULL;
    if (uc_open(UC_ARCH_ARM, UC_MODE_ARM, &core->uc) != UC_ERR_OK) {
        free(core);
        return NULL;
    }
    if (uc_ctl_set_cpu_model(core->uc, kModels[i].model) != UC_ERR_OK ||
        uc_hook_add(core->uc, &access, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE, OnAccess, core, 1,
                    0) != UC_ERR_OK ||
        uc_hook_add(core->uc, &invalid, UC_HOOK_MEM_INVALID, OnInvalid, core, 1, 0) !=
            UC_ERR_OK ||
        uc_hook_add(core->uc, &code, UC_HOOK_CODE, OnInstruction, core, 1, 0) != UC_ERR_OK) {
        arm_core_close(core);
        return NULL;
    }
    return core;
}

FROM_WINDOWS void arm_core_close(ArmCore* core)
{
    if (!core)
        return;
    uc_close(core->uc);
    free(core->lent);
    free(core);
}

static uint32_t UnicornProtection(DWORD protection)
{
    return ((protection & ARM_READ) ? UC_PROT_READ : 0) |
           ((protection & ARM_WRITE) ? UC_PROT_WRITE : 0) |
           ((protection & ARM_EXECUTE) ? UC_PROT_EXEC : 0);
}

FROM_WINDOWS int arm_core_map(ArmCore* core, DWORD address, DWORD size, DWORD protection)
{
    return uc_mem_map_ptr(core->uc, address, size, UnicornProtection(protection),
                          (void*)(ULONG_PTR)address) == UC_ERR_OK;
}

FROM_WINDOWS int arm_core_unmap(ArmCore* core, DWORD address, DWORD size)
{
    return uc_mem_unmap(core->uc, address, size) == UC_ERR_OK;
}

FROM_WINDOWS unsigned long long arm_core_instructions(ArmCore* core)
{
    return core->instructions;
}

static const int kGeneralRegisters[16] = {
    UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4,  UC_ARM_REG_R5,
    UC_ARM_REG_R6, UC_ARM_REG_R7, UC_ARM_REG_R8,  UC_ARM_REG_R9,  UC_ARM_REG_R10, UC_ARM_REG_R11,
    UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC};

FROM_WINDOWS void arm_core_run(ArmCore* core, ArmRegisters* registers, ArmStop* stop)
{
    uc_engine* uc = core->uc;
    uint32_t flags = registers->cpsr & 0xF0000000u;
    uint32_t begin = registers->r[15] | ((registers->cpsr & ARM_CPSR_THUMB) ? 1 : 0);
    uc_err error;
    int i;

    memset(stop, 0, sizeof *stop);
    core->stop = stop;
    /* The core's mode stays as it is; the flags and the state (ARM or
     * Thumb, from the start address) are the caller's. */
    for (i = 0; i < 15; ++i)
        uc_reg_write(uc, kGeneralRegisters[i], &registers->r[i]);
    uc_reg_write(uc, UC_ARM_REG_APSR_NZCV, &flags);
    error = uc_emu_start(uc, begin, 0, 0, 0);

    for (i = 0; i < 16; ++i)
        uc_reg_read(uc, kGeneralRegisters[i], &registers->r[i]);
    uc_reg_read(uc, UC_ARM_REG_CPSR, &registers->cpsr);
    if (!stop->reason) {
        stop->pc = registers->r[15];
        stop->last = core->last;
        stop->address = registers->r[15];
        stop->error = error;
        stop->reason = error == UC_ERR_INSN_INVALID ? ARM_STOP_UNDEFINED
                       : error == UC_ERR_OK       ? ARM_STOP_NO_CODE
                                                  : ARM_STOP_OTHER;
    }
    core->stop = NULL;
}

FROM_WINDOWS void arm_core_forget(ArmCore* core)
{
    size_t i;
    for (i = 0; i < core->lentCount; ++i)
        uc_mem_unmap(core->uc, core->lent[i], PAGE);
    core->lentCount = 0;
}

FROM_WINDOWS const char* arm_core_error_text(DWORD error)
{
    return uc_strerror((uc_err)error);
}

FROM_WINDOWS const char* arm_core_version(void)
{
    static char version[32];
    snprintf(version, sizeof version, "%d.%d.%d", UC_API_MAJOR, UC_API_MINOR, UC_API_PATCH);
    return version;
}
