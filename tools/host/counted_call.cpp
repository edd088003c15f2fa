#include "counted_call.h"

// cdecl itself; EDI keeps the stack pointer from just before the call (callee-saved).
__asm__(
    ".text\n"
    ".globl _CountedCall\n"
    "_CountedCall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebx\n"
    "  movl 12(%ebp), %esi\n"  // args
    "  movl 16(%ebp), %ecx\n"  // count
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  pushl -4(%esi,%ecx,4)\n"
    "  decl %ecx\n"
    "  jmp 1b\n"
    "2:\n"
    "  movl %esp, %edi\n"
    "  movl 8(%ebp), %eax\n"
    "  call *%eax\n"
    "  movl %esp, %ecx\n"
    "  subl %edi, %ecx\n"
    "  movl 20(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %ebx\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");
