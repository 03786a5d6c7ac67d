@ A Control Panel library for ARM that imports a call the handheld's
@ COREDLL has not got: the handheld must refuse to load it, naming the call.
    .text
    .code 32
    .global DllMain
DllMain:
    mov     r0, #1
    bx      lr

    .global CPlApplet
CPlApplet:
    b       NoSuchCall
