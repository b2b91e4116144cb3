// Processor faults on Linux x86-64. SIGFPE, SIGSEGV, SIGBUS, SIGILL and
// SIGTRAP are handled on an alternate signal stack. The handler tells the
// fault's kind from the signal, its code and, where Linux gives the same code
// to different faults, from the faulting instruction itself; it records the
// fault and rewrites the signal context so that, once the handler returns,
// the thread runs an entry of ours on a stack of its own, which hands the
// fault to the frame. The handler writes nothing.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/input.h"
#include "platform/process.h"

// One aligned 8-byte load that may fault: a fault at fv_probe_load's load
// resumes at fv_probe_failed, which returns false. The handler reads
// everything it was not handed by the kernel through it.
// The C library's record of where the main thread's stack began (its
// highest used address at process start).
extern "C" void* __libc_stack_end;

extern "C" bool fv_probe_load(const uint64_t* p, uint64_t* out);
extern "C" const char fv_probe_load_ip[], fv_probe_failed[];
asm(R"(
    .text
    .p2align 4
    .globl fv_probe_load
    .hidden fv_probe_load
    .type fv_probe_load, @function
fv_probe_load:
    .globl fv_probe_load_ip
    .hidden fv_probe_load_ip
fv_probe_load_ip:
    movq (%rdi), %rax
    movq %rax, (%rsi)
    movl $1, %eax
    ret
    .globl fv_probe_failed
    .hidden fv_probe_failed
fv_probe_failed:
    xorl %eax, %eax
    ret
    .size fv_probe_load, .-fv_probe_load
)");

namespace plat {
namespace {

using FK = FaultKind;

constexpr int fault_signals[] = {SIGFPE, SIGSEGV, SIGBUS, SIGILL, SIGTRAP};
constexpr int NSIGNALS = sizeof fault_signals / sizeof fault_signals[0];

// The signal's code names the kind; codes that Linux gives to more than one
// kind of fault are refined below (FPE_INTDIV, SI_KERNEL on SIGSEGV, x87
// stack and denormal faults, stack overflow).
struct CodeKind {
    int sig;
    int code;
    FaultKind kind;
};
constexpr CodeKind code_kinds[] = {
    {SIGFPE, FPE_INTDIV, FK::IntDivideByZero},
    {SIGFPE, FPE_INTOVF, FK::IntOverflow},
    {SIGFPE, FPE_FLTDIV, FK::FltDivideByZero},
    {SIGFPE, FPE_FLTOVF, FK::FltOverflow},
    {SIGFPE, FPE_FLTUND, FK::FltUnderflow},
    {SIGFPE, FPE_FLTRES, FK::FltInexact},
    {SIGFPE, FPE_FLTINV, FK::FltInvalid},
    {SIGFPE, FPE_FLTSUB, FK::ArrayBounds},
    {SIGSEGV, SEGV_MAPERR, FK::AccessViolation},
    {SIGSEGV, SEGV_ACCERR, FK::AccessViolation},
    {SIGSEGV, SEGV_BNDERR, FK::ArrayBounds},
    {SIGSEGV, SEGV_PKUERR, FK::AccessViolation},
    {SIGSEGV, SI_KERNEL, FK::AccessViolation},  // general protection
    {SIGBUS, BUS_ADRALN, FK::OtherError},       // misaligned with alignment checking on
    {SIGBUS, BUS_ADRERR, FK::AccessViolation},  // no memory behind a mapping
    {SIGBUS, BUS_OBJERR, FK::AccessViolation},
    {SIGILL, ILL_PRVOPC, FK::PrivilegedInstruction},
    {SIGILL, ILL_PRVREG, FK::PrivilegedInstruction},
};
// Any other code of the signal.
constexpr CodeKind signal_kinds[] = {
    {SIGFPE, 0, FK::OtherError},         {SIGSEGV, 0, FK::AccessViolation},
    {SIGBUS, 0, FK::OtherError},         {SIGILL, 0, FK::IllegalInstruction},
    {SIGTRAP, 0, FK::Other},
};

// Instructions that raise a general protection fault in user mode because
// they are privileged (Linux reports them as SIGSEGV, SI_KERNEL, address 0,
// like a non-canonical address). op2 is the second opcode byte after 0x0F;
// regs, when not 0, is the set of ModRM reg values that are privileged;
// mem_only restricts those to memory operands.
struct PrivOp {
    uint8_t op, op2;
    uint8_t regs;
    bool mem_only;
};
constexpr PrivOp privileged_ops[] = {
    {0xF4, 0, 0, false},                  // hlt
    {0xFA, 0, 0, false}, {0xFB, 0, 0, false},  // cli, sti
    {0xE4, 0, 0, false}, {0xE5, 0, 0, false}, {0xE6, 0, 0, false}, {0xE7, 0, 0, false},  // in, out
    {0xEC, 0, 0, false}, {0xED, 0, 0, false}, {0xEE, 0, 0, false}, {0xEF, 0, 0, false},
    {0x6C, 0, 0, false}, {0x6D, 0, 0, false}, {0x6E, 0, 0, false}, {0x6F, 0, 0, false},  // ins, outs
    {0x0F, 0x06, 0, false},               // clts
    {0x0F, 0x07, 0, false}, {0x0F, 0x35, 0, false},  // sysret, sysexit
    {0x0F, 0x08, 0, false}, {0x0F, 0x09, 0, false},  // invd, wbinvd
    {0x0F, 0x20, 0, false}, {0x0F, 0x21, 0, false},  // mov from control, debug registers
    {0x0F, 0x22, 0, false}, {0x0F, 0x23, 0, false},  // mov to control, debug registers
    {0x0F, 0x30, 0, false}, {0x0F, 0x32, 0, false}, {0x0F, 0x33, 0, false},  // wrmsr, rdmsr, rdpmc
    {0x0F, 0x00, 1 << 2 | 1 << 3, false},  // lldt, ltr
    {0x0F, 0x01, 1 << 2 | 1 << 3 | 1 << 7, true},  // lgdt, lidt, invlpg
    {0x0F, 0x01, 1 << 6, false},          // lmsw
};

// ModRM register numbers to the saved registers of the signal context.
constexpr int gpr_slot[16] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP,
                              REG_RSI, REG_RDI, REG_R8,  REG_R9,  REG_R10, REG_R11,
                              REG_R12, REG_R13, REG_R14, REG_R15};

constexpr int TRAP_DE = 0, TRAP_MF = 16, TRAP_XM = 19;  // divide error, x87, SIMD
constexpr uint64_t EFLAGS_TF = 1 << 8, EFLAGS_DF = 1 << 10, EFLAGS_AC = 1 << 18;
constexpr uint16_t X87_CW_MASKED = 0x037F;
constexpr uint32_t MXCSR_MASKED = 0x1F80;

constexpr size_t ERROR_STACK_SIZE = 512 * 1024;
// A fault on the error stack continues below it, as long as this much is left.
constexpr size_t ERROR_STACK_RESERVE = 64 * 1024;
// Faults this far below the lowest address the stack may reach still count
// as the stack overflowing (a large frame jumps over the guard).
constexpr uintptr_t STACK_GUARD_REACH = 1024 * 1024;
constexpr int MAX_PENDING = 16;
// Faults in the error path itself (a finalisation, the report, a flush)
// each start the error path again, deeper on the error stack; after this
// many the platform's default handling ends the run instead.
constexpr int MAX_NESTED = 16;

struct Range {
    uintptr_t lo, hi;  // [lo, hi)
    bool holds(uintptr_t p, size_t n) const { return p >= lo && p <= hi && n <= hi - p; }
};

FaultFunc hook;
Range main_stack, error_stack;
bool installed;
struct sigaction old_actions[NSIGNALS];
stack_t old_altstack;

Fault pending[MAX_PENDING];
volatile sig_atomic_t npending;
volatile sig_atomic_t in_handler;
int nested;

// Whether an access fault at a is the thread's stack overflowing: a lies in
// the stack's range or just below the lowest address it may reach.
bool in_stack_reach(uintptr_t a) {
    if (main_stack.hi == 0) return false;
    uintptr_t low = main_stack.lo > STACK_GUARD_REACH ? main_stack.lo - STACK_GUARD_REACH : 0;
    return a >= low && a < main_stack.hi;
}

// --- Reading memory from the handler

bool read_word(uintptr_t p, uint64_t* out) {
    return fv_probe_load(reinterpret_cast<const uint64_t*>(p & ~uintptr_t{7}), out);
}

// n bytes from p into out, through aligned words; false if any is unreadable.
bool read_bytes(uintptr_t p, uint8_t* out, size_t n) {
    for (size_t i = 0; i < n;) {
        uint64_t w;
        uintptr_t a = p + i;
        if (!read_word(a, &w)) return false;
        for (size_t k = a & 7; k < 8 && i < n; ++k, ++i) out[i] = static_cast<uint8_t>(w >> (8 * k));
    }
    return true;
}

// --- Decoding the faulting instruction

struct Insn {
    const uint8_t* b;  // the bytes, from the instruction's first
    size_t len;        // how many could be read
    size_t i;          // the decoder's position
    bool opsize16, addr32, segment;
    uint8_t rex;
};

// Skips legacy prefixes and REX; false when the bytes run out.
bool skip_prefixes(Insn& in) {
    for (; in.i < in.len; ++in.i) {
        switch (in.b[in.i]) {
        case 0x66: in.opsize16 = true; continue;
        case 0x67: in.addr32 = true; continue;
        case 0x64: case 0x65: in.segment = true; continue;
        case 0xF0: case 0xF2: case 0xF3: case 0x2E: case 0x36: case 0x3E: case 0x26: continue;
        default: break;
        }
        break;
    }
    if (in.i < in.len && (in.b[in.i] & 0xF0) == 0x40) in.rex = in.b[in.i++];
    return in.i < in.len;
}

bool privileged(const uint8_t* bytes, size_t len) {
    Insn in{bytes, len, 0, false, false, false, 0};
    if (!skip_prefixes(in)) return false;
    uint8_t op = in.b[in.i];
    uint8_t op2 = in.i + 1 < in.len ? in.b[in.i + 1] : 0;
    uint8_t modrm = in.i + 2 < in.len ? in.b[in.i + 2] : 0;
    for (const PrivOp& p : privileged_ops) {
        if (p.op != op || (op == 0x0F && p.op2 != op2)) continue;
        if (p.regs == 0) return true;
        if (op == 0x0F && in.i + 2 >= in.len) continue;
        bool mem = (modrm >> 6) != 3;
        if ((p.regs >> ((modrm >> 3) & 7) & 1) && (mem || !p.mem_only)) return true;
    }
    // swapgs: 0F 01 F8
    return op == 0x0F && op2 == 0x01 && modrm == 0xF8;
}

uint64_t reg(const greg_t* g, unsigned n) { return static_cast<uint64_t>(g[gpr_slot[n & 15]]); }

int32_t disp32(const Insn& in, size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | in.b[at + static_cast<size_t>(k)];
    return static_cast<int32_t>(v);
}

// A divide error is raised both for a zero divisor and for a quotient that
// does not fit; only the divisor of the DIV or IDIV at ip tells them apart.
// True when the divisor is zero or cannot be told.
bool divisor_is_zero(const greg_t* g, uintptr_t ip) {
    uint8_t bytes[16];
    size_t len = 15;
    while (len > 0 && !read_bytes(ip, bytes, len)) len = len > 8 ? 8 : len - 1;
    Insn in{bytes, len, 0, false, false, false, 0};
    if (!skip_prefixes(in) || in.i + 1 >= in.len) return true;
    uint8_t op = in.b[in.i];
    if (op != 0xF6 && op != 0xF7) return true;
    unsigned size = op == 0xF6 ? 1 : (in.rex & 8) ? 8 : in.opsize16 ? 2 : 4;
    uint8_t modrm = in.b[in.i + 1];
    in.i += 2;
    unsigned mod = modrm >> 6, regf = (modrm >> 3) & 7, rm = modrm & 7;
    if (regf != 6 && regf != 7) return true;  // not DIV or IDIV
    uint64_t v;
    if (mod == 3) {
        if (size == 1 && in.rex == 0 && rm >= 4)
            v = reg(g, rm - 4) >> 8;  // AH, CH, DH, BH
        else
            v = reg(g, rm | (in.rex & 1u) << 3);
    } else {
        if (in.segment) return true;
        uint64_t ea = 0;
        bool riprel = false;
        size_t disp_at = in.i;
        if (rm == 4) {
            if (in.i >= in.len) return true;
            uint8_t sib = in.b[in.i++];
            unsigned index = ((sib >> 3) & 7) | ((in.rex >> 1) & 1u) << 3;
            unsigned base = (sib & 7) | (in.rex & 1u) << 3;
            if (index != 4) ea += reg(g, index) << (sib >> 6);
            if ((sib & 7) == 5 && mod == 0) {
                mod = 2;  // disp32 and no base
            } else {
                ea += reg(g, base);
            }
            disp_at = in.i;
        } else if (rm == 5 && mod == 0) {
            riprel = true;
            mod = 2;
        } else {
            ea = reg(g, rm | (in.rex & 1u) << 3);
        }
        size_t dlen = mod == 1 ? 1 : mod == 2 ? 4 : 0;
        if (disp_at + dlen > in.len) return true;
        if (dlen == 1) ea += static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(in.b[disp_at])));
        if (dlen == 4) ea += static_cast<uint64_t>(static_cast<int64_t>(disp32(in, disp_at)));
        if (riprel) ea += ip + disp_at + dlen;
        if (in.addr32) ea &= 0xFFFFFFFFu;
        uint8_t m[8] = {};
        if (!read_bytes(ea, m, size)) return true;
        v = 0;
        for (unsigned k = size; k-- > 0;) v = v << 8 | m[k];
    }
    if (size < 8) v &= (uint64_t{1} << (8 * size)) - 1;
    return v == 0;
}

// Length of an instruction FF /r from its ModRM byte on: ModRM, SIB and
// displacement, plus the opcode byte.
size_t ff_length(uint8_t modrm, uint8_t sib) {
    unsigned mod = modrm >> 6, rm = modrm & 7;
    if (mod == 3) return 2;
    size_t n = 2 + (rm == 4 ? 1 : 0);
    if (mod == 1) return n + 1;
    if (mod == 2) return n + 4;
    if (rm == 5 || (rm == 4 && (sib & 7) == 5)) return n + 4;
    return n;
}

// Whether ret is the return address of a call: a direct CALL just before
// it that went to a function starting at or before addr, or an indirect
// CALL (FF /2) that ends at ret.
bool call_returning_to(uintptr_t ret, uintptr_t addr) {
    uint8_t c[8];
    if (!read_bytes(ret - 8, c, 8)) return false;
    const uint8_t* end = c + 8;
    if (end[-5] == 0xE8) {
        uint32_t rel = end[-4] | end[-3] << 8 | end[-2] << 16 | uint32_t{end[-1]} << 24;
        uintptr_t target = ret + static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(rel)));
        if (target <= addr && addr - target < 64 * 1024) return true;
    }
    for (size_t k = 2; k <= 7; ++k) {
        const uint8_t* op = end - k;
        if (op[0] == 0xFF && ((op[1] >> 3) & 7) == 2 && ff_length(op[1], k > 2 ? op[2] : 0) == k)
            return true;
    }
    return false;
}

// --- The handler

FaultKind kind_of(int sig, int code) {
    for (const CodeKind& c : code_kinds)
        if (c.sig == sig && c.code == code) return c.kind;
    for (const CodeKind& c : signal_kinds)
        if (c.sig == sig) return c.kind;
    return FK::Other;
}

// Gives the fault to the platform: the default action of the signal ends
// the process, as without a handler, once the terminal has its mode back.
void leave_to_default(int sig) {
    posix_input::end();
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
    raise(sig);
}

// Entered, instead of the faulting instruction, on the error stack.
[[noreturn]] void error_entry() {
    Fault f = pending[npending - 1];
    npending = npending - 1;
    hook(f);
    _exit(255);  // the frame's fault function does not come back
}

void clear_fp_state(ucontext_t* uc) {
    fpregset_t fp = uc->uc_mcontext.fpregs;
    if (!fp) return;
    fp->cwd = X87_CW_MASKED;
    fp->swd = 0;
    fp->ftw = 0;
    fp->mxcsr = MXCSR_MASKED;
}

void on_signal(int sig, siginfo_t* si, void* ctx) {
    // Alignment checking and unmasked floating-point exceptions may have
    // come along from the faulting code; either would fault here again.
    asm volatile(
        "sub $128, %%rsp\n\t"
        "pushfq\n\t"
        "andq $~0x40000, (%%rsp)\n\t"
        "popfq\n\t"
        "add $128, %%rsp\n\t"
        "fninit\n\t"
        "ldmxcsr %0" ::"m"(MXCSR_MASKED) : "cc", "memory");

    ucontext_t* uc = static_cast<ucontext_t*>(ctx);
    greg_t* g = uc->uc_mcontext.gregs;
    uintptr_t ip = static_cast<uintptr_t>(g[REG_RIP]);

    if (ip == reinterpret_cast<uintptr_t>(fv_probe_load_ip)) {  // a probe found nothing
        g[REG_RIP] = reinterpret_cast<greg_t>(fv_probe_failed);
        return;
    }
    if (in_handler || npending >= MAX_PENDING) {
        leave_to_default(sig);
        return;
    }
    in_handler = 1;

    uintptr_t sp = static_cast<uintptr_t>(g[REG_RSP]);
    uintptr_t fault_addr = reinterpret_cast<uintptr_t>(si->si_addr);
    FaultKind kind = kind_of(sig, si->si_code);
    uintptr_t addr = ip;
    uintptr_t frame = static_cast<uintptr_t>(g[REG_RBP]);
    int trap = static_cast<int>(g[REG_TRAPNO]);
    fpregset_t fp = uc->uc_mcontext.fpregs;
    bool fetch_fault = false;

    if (sig == SIGFPE && trap == TRAP_DE && kind == FK::IntDivideByZero) {
        if (!divisor_is_zero(g, ip)) kind = FK::IntOverflow;
    } else if (sig == SIGFPE && trap == TRAP_MF && fp) {
        // x87 exceptions are raised at the next x87 instruction; the FPU
        // keeps the address of the one that caused it.
        addr = static_cast<uintptr_t>(fp->rip);
        unsigned raised = fp->swd & ~fp->cwd & 0x3F;
        if ((raised & 0x01) && (fp->swd & 0x40)) kind = FK::FltStackCheck;
        if (kind == FK::FltUnderflow && (raised & 0x02) && !(raised & 0x10)) kind = FK::FltDenormal;
    } else if (sig == SIGFPE && trap == TRAP_XM && fp) {
        unsigned raised = fp->mxcsr & ~(fp->mxcsr >> 7) & 0x3F;
        if (kind == FK::FltUnderflow && (raised & 0x02) && !(raised & 0x10)) kind = FK::FltDenormal;
    } else if (sig == SIGSEGV && si->si_code == SI_KERNEL) {
        uint8_t bytes[16];
        size_t len = 15;
        while (len > 0 && !read_bytes(ip, bytes, len)) len = len > 8 ? 8 : len - 1;
        if (privileged(bytes, len)) kind = FK::PrivilegedInstruction;
    } else if (sig == SIGSEGV && fault_addr == ip) {
        fetch_fault = true;  // a call, jump or return to where there is no code
    } else if (sig == SIGSEGV && in_stack_reach(fault_addr)) {
        kind = FK::StackOverflow;
    } else if (sig == SIGTRAP && si->si_code == SI_KERNEL) {
        uint8_t b;
        if (read_bytes(ip - 1, &b, 1) && b == 0xCC) addr = ip - 1;  // int3 traps after itself
    }

    // Where the function that faulted has no frame record of its own (GCC
    // builds none in a leaf that needs no stack), the return address into
    // its caller is still on top of the stack: make the record below it.
    uint64_t top;
    bool sp_ok = (sp & 7) == 0 && main_stack.holds(sp - 8, 16) &&
                 sp - main_stack.lo > STACK_GUARD_REACH && read_word(sp, &top);
    if (fetch_fault && sp_ok && call_returning_to(top, addr)) {
        addr = top;  // the fault is the call's: report it just after the call
    } else if (kind != FK::StackOverflow && sp_ok && sp < frame && call_returning_to(top, addr)) {
        *reinterpret_cast<uint64_t*>(sp - 8) = static_cast<uint64_t>(frame);
        frame = sp - 8;
    }

    // The stack to go on with: the error stack, or below the fault on it.
    uintptr_t run_sp = error_stack.hi;
    if (error_stack.holds(sp, 0) && sp != error_stack.hi) {
        if (sp - error_stack.lo < ERROR_STACK_RESERVE || ++nested > MAX_NESTED) {
            in_handler = 0;
            leave_to_default(sig);
            return;
        }
        run_sp = sp - 256;  // past the red zone of the code that faulted
    }
    if (!hook || error_stack.hi == 0) {
        in_handler = 0;
        leave_to_default(sig);
        return;
    }

    pending[npending] = Fault{kind, reinterpret_cast<const void*>(addr), reinterpret_cast<const void*>(frame)};
    npending = npending + 1;

    // A call's frame: 16-byte aligned plus a return address, which is 0 so
    // that nothing walks out of the error path into the fault.
    run_sp = (run_sp & ~uintptr_t{15}) - 8;
    *reinterpret_cast<uint64_t*>(run_sp) = 0;
    g[REG_RSP] = static_cast<greg_t>(run_sp);
    g[REG_RBP] = 0;
    g[REG_RIP] = reinterpret_cast<greg_t>(&error_entry);
    g[REG_EFL] = static_cast<greg_t>(static_cast<uint64_t>(g[REG_EFL]) & ~(EFLAGS_AC | EFLAGS_DF | EFLAGS_TF));
    clear_fp_state(uc);
    in_handler = 0;
}

// The thread's stack as far as it may grow; false when it cannot be told.
// The C library reads the bounds from /proc; where that is not mounted they
// follow from where the stack began and the stack size limit (an unlimited
// stack counts as 1 GiB).
bool find_main_stack(Range* r) {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* lo = nullptr;
        size_t size = 0;
        bool ok = pthread_attr_getstack(&attr, &lo, &size) == 0;
        pthread_attr_destroy(&attr);
        if (ok) {
            r->lo = reinterpret_cast<uintptr_t>(lo);
            r->hi = r->lo + size;
            return true;
        }
    }
    rlimit lim{};
    uintptr_t top = reinterpret_cast<uintptr_t>(__libc_stack_end);
    if (top == 0 || getrlimit(RLIMIT_STACK, &lim) != 0) return false;
    uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    uintptr_t size = lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > (uintptr_t{1} << 30)
                         ? uintptr_t{1} << 30
                         : static_cast<uintptr_t>(lim.rlim_cur);
    r->hi = (top + page - 1) / page * page;
    r->lo = r->hi > size ? r->hi - size : 0;
    return true;
}

}  // namespace

void install_fault_handler(FaultFunc on_fault) {
    if (installed) return;
    hook = on_fault;
    if (!find_main_stack(&main_stack)) main_stack = Range{0, 0};

    // One mapping: guard page, error stack, guard page, signal stack.
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    long sigstk = sysconf(_SC_SIGSTKSZ);
    size_t alt = 64 * 1024;
    if (sigstk > 0 && static_cast<size_t>(sigstk) * 4 > alt) alt = static_cast<size_t>(sigstk) * 4;
    alt = (alt + page - 1) / page * page;
    size_t total = page + ERROR_STACK_SIZE + page + alt;
    void* m = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (m == MAP_FAILED) return;
    uint8_t* base = static_cast<uint8_t*>(m);
    mprotect(base, page, PROT_NONE);
    mprotect(base + page + ERROR_STACK_SIZE, page, PROT_NONE);
    error_stack = Range{reinterpret_cast<uintptr_t>(base + page),
                        reinterpret_cast<uintptr_t>(base + page + ERROR_STACK_SIZE)};

    stack_t ss{};
    ss.ss_sp = base + 2 * page + ERROR_STACK_SIZE;
    ss.ss_size = alt;
    sigaltstack(&ss, &old_altstack);

    struct sigaction sa {};
    sa.sa_sigaction = on_signal;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;  // NODEFER: the handler's own probes
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < NSIGNALS; ++i) sigaction(fault_signals[i], &sa, &old_actions[i]);
    signal(SIGPIPE, SIG_IGN);
    installed = true;
}

void remove_fault_handler() {
    if (!installed) return;
    for (int i = 0; i < NSIGNALS; ++i) sigaction(fault_signals[i], &old_actions[i], nullptr);
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    // The mapping stays: the error path may be running on it.
    installed = false;
}

bool stack_holds(const void* p, size_t n) {
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    return main_stack.holds(a, n) || error_stack.holds(a, n);
}

}  // namespace plat
