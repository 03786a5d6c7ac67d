@ A Control Panel library for ARM whose CPlApplet does, for the message it
@ is sent, one thing a handheld's ARM core traps (or, for the Thumb return,
@ one that an ARMv4T core gets wrong): the handheld must end the host with
@ a line naming it. Message 0 returns 1, and changes nothing.
    .text
    .code 32
    .global DllMain
DllMain:
    mov     r0, #1
    bx      lr

    .global CPlApplet
CPlApplet:
    cmp     r1, #7
    addls   pc, pc, r1, lsl #2
    b       nothing
    b       nothing
    b       unaligned_write
    b       unaligned_read
    b       armv5_instruction
    b       jump_outside
    b       write_read_only
    b       stack_overrun
    b       thumb_return

nothing:
    mov     r0, #1
    bx      lr

unaligned_write:
    sub     sp, sp, #8
    add     r2, sp, #2
    str     r0, [r2]
    add     sp, sp, #8
    bx      lr

unaligned_read:
    sub     sp, sp, #8
    add     r2, sp, #1
    ldrh    r0, [r2]
    add     sp, sp, #8
    bx      lr

@ clz is ARMv5: the PXA270 runs it, the TI925T (ARMv4T) has no such
@ instruction.
armv5_instruction:
    clz     r0, r1
    bx      lr

jump_outside:
    mov     r2, #0x1000
    bx      r2

write_read_only:
    ldr     r2, =constant
    str     r0, [r2]
    bx      lr

@ Calls itself without end, 40 bytes a call.
stack_overrun:
    stmfd   sp!, {r4-r11, lr}
    bl      stack_overrun

@ Returns through ldm, which changes the state to the caller's (Thumb)
@ from ARMv5 on only.
thumb_return:
    stmfd   sp!, {lr}
    mov     r0, #1
    ldmfd   sp!, {pc}

    .section .rdata,"dr"
constant:
    .word   7
