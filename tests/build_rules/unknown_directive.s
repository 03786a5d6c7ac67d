@ What clang might write one day: a directive the translation has no rule
@ for must stop the build, not vanish.
	.text
	.section	.text.f,"ax",%progbits
	.globl	f
	.p2align	2
	.weak	f
f:
	mov	r0, #1
	bx	lr
