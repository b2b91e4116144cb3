// A program that links the frame with a body that faults in one of many
// ways, chosen by its argument. The console set-up is the real one, so a
// fault shows that the terminal gets its mode back. Each fault happens in a
// function of its own, named after the case, so that the report's address
// can be checked with addr2line.
#include <fenv.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "console/crt.h"
#include "frame/frame.h"

#define NOINLINE extern "C" __attribute__((noinline))

volatile int vzero = 0, vone = 1, vminus1 = -1, vintmin = INT_MIN;
volatile double dzero = 0.0, done = 1.0, dthree = 3.0, dbig = 1e308, dtiny = 1e-308, ddenormal = 1e-310;
uint64_t gone = 1;
int* volatile vnull = nullptr;
void (*volatile vnullfunc)() = nullptr;
const char readonly_text[] = "constant";

NOINLINE void fault_int_div_zero() { vone = vone / vzero; }
NOINLINE void fault_int_min_div() { vone = vintmin / vminus1; }
NOINLINE void fault_div_stack_zero() {
    uint64_t zero = 0;
    asm volatile("movl $1, %%eax\n\txorl %%edx, %%edx\n\tdivq %0" ::"m"(zero) : "rax", "rdx");
}
NOINLINE void fault_div_global_overflow() {
    // RDX:RAX = 2^64, divided by 1: the quotient does not fit.
    asm volatile("xorl %%eax, %%eax\n\tmovl $1, %%edx\n\tdivq %0" ::"m"(gone) : "rax", "rdx");
}
NOINLINE void fault_div_high_byte() { asm volatile("movw $1, %%ax\n\tdivb %%ah" ::: "rax"); }

NOINLINE void fault_sse_div_zero() {
    feenableexcept(FE_DIVBYZERO);
    done = done / dzero;
}
NOINLINE void fault_sse_overflow() {
    feenableexcept(FE_OVERFLOW);
    dbig = dbig * dbig;
}
NOINLINE void fault_sse_underflow() {
    feenableexcept(FE_UNDERFLOW);
    dtiny = dtiny * dtiny;
}
NOINLINE void fault_sse_inexact() {
    feenableexcept(FE_INEXACT);
    done = done / dthree;
}
NOINLINE void fault_sse_invalid() {
    feenableexcept(FE_INVALID);
    dzero = dzero / dzero;
}
NOINLINE void fault_sse_denormal() {
    unsigned csr = 0x1F80 & ~0x0100u;  // denormal operand unmasked
    asm volatile("ldmxcsr %0" ::"m"(csr));
    done = done + ddenormal;
}
// The x87 reports the division at its next instruction, here in the caller.
NOINLINE void fault_x87_div_zero() {
    feenableexcept(FE_DIVBYZERO);
    asm volatile("fld1\n\tfdivl %0" ::"m"(dzero));
}
NOINLINE void x87_div_zero_caller() {
    fault_x87_div_zero();
    asm volatile("fwait");
}
NOINLINE void fault_x87_stack() {
    feenableexcept(FE_INVALID);
    asm volatile("fld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfld1\n\tfwait");
}
NOINLINE void fault_x87_denormal() {
    unsigned short cw = 0x037F & ~0x0002;  // denormal operand unmasked
    asm volatile("fldcw %0\n\tfldl %1\n\tfwait" ::"m"(cw), "m"(ddenormal));
}

NOINLINE void fault_null_write() { *vnull = 1; }  // LINE:null_write
NOINLINE void fault_readonly_write() { *const_cast<volatile char*>(readonly_text) = 'C'; }
NOINLINE void fault_noncanonical() { *reinterpret_cast<volatile int*>(0x8000000000000000ull) = 1; }
NOINLINE void fault_null_call() {
    vnullfunc();
    vone = 2;
}
// Returns to an address where there is no code.
NOINLINE void fault_bad_return() {
    static_cast<void* volatile*>(__builtin_frame_address(0))[1] = reinterpret_cast<void*>(0x10);
}
NOINLINE void fault_ud2() { asm volatile("ud2"); }
NOINLINE void fault_int3() {
    asm volatile("int3");
    vone = 2;
}
NOINLINE void fault_hlt() { asm volatile("hlt"); }
NOINLINE void fault_cli() { asm volatile("cli"); }
NOINLINE void fault_in() { asm volatile("xorl %%edx, %%edx\n\tinb %%dx, %%al" ::: "rax", "rdx"); }
// Recurses until the stack runs out (vone is never 0).
NOINLINE int fault_stack_overflow(int n) {
    volatile char buf[64];
    buf[n % 64] = static_cast<char>(n);
    if (vone == 0) return 0;
    return fault_stack_overflow(n + 1) + buf[(n + 1) % 64];
}
NOINLINE void fault_misaligned() {
    alignas(8) static char buf[16];
    asm volatile("pushfq\n\torq $0x40000, (%%rsp)\n\tpopfq" ::: "cc", "memory");
    vone = *reinterpret_cast<volatile int*>(buf + 1);
}

static void stack_overflow() { vone = fault_stack_overflow(0); }

struct Case {
    const char* name;
    void (*body)();
};
static const Case cases[] = {
    {"int_div_zero", fault_int_div_zero},
    {"int_min_div", fault_int_min_div},
    {"div_stack_zero", fault_div_stack_zero},
    {"div_global_overflow", fault_div_global_overflow},
    {"div_high_byte", fault_div_high_byte},
    {"sse_div_zero", fault_sse_div_zero},
    {"sse_overflow", fault_sse_overflow},
    {"sse_underflow", fault_sse_underflow},
    {"sse_inexact", fault_sse_inexact},
    {"sse_invalid", fault_sse_invalid},
    {"sse_denormal", fault_sse_denormal},
    {"x87_div_zero", x87_div_zero_caller},
    {"x87_stack", fault_x87_stack},
    {"x87_denormal", fault_x87_denormal},
    {"null_write", fault_null_write},
    {"readonly_write", fault_readonly_write},
    {"noncanonical", fault_noncanonical},
    {"null_call", fault_null_call},
    {"bad_return", fault_bad_return},
    {"ud2", fault_ud2},
    {"int3", fault_int3},
    {"hlt", fault_hlt},
    {"cli", fault_cli},
    {"in", fault_in},
    {"stack_overflow", stack_overflow},
    {"misaligned", fault_misaligned},
};

static void console_init() { CRTSETUP(IOCHECK); }

int main(int argc, char** argv) {
    static const MODULEENTRY console_module = {console_init, CRTFINISH};
    for (const Case& c : cases)
        if (argc > 1 && std::strcmp(argv[1], c.name) == 0) FRAME_RUN(console_module, c.body);
    return 2;
}
