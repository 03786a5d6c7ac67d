@ Thumb code, which the image must not hold.
	.text
	.code	16
	.globl	f
f:
	movs	r0, #1
	bx	lr
