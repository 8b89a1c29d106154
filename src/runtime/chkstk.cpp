// The stack probe the compiler calls before a frame larger than a page: the
// frame's size in 16-byte units is in x15, and each page below the stack
// pointer is touched in order so that the guard page moves down. x16 and x17
// are the only registers it may change; the caller moves sp itself.
asm(R"(
    .text
    .globl __chkstk
    .p2align 2
__chkstk:
    lsl  x16, x15, #4
    mov  x17, sp
1:
    sub  x17, x17, #4096
    subs x16, x16, #4096
    ldr  xzr, [x17]
    b.gt 1b
    ret
)");
