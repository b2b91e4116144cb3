// The run-time error report: the error line, the address line, one line per
// caller found by walking the frame records from ERRORBASE, and an empty
// line; addresses in 16 upper-case hexadecimal digits, lines ending CR LF,
// all through STDOUT's write operations.
#include "frame/report.h"

#include <cstdint>

#include "console/textdev.h"
#include "frame/frame.h"
#include "platform/process.h"

namespace {

constexpr unsigned MAX_LINES_CHAR_DEVICE = 9;
constexpr unsigned MAX_LINES_OTHER = 257;

// Set only while the walk reads frame records. The compiler must not move
// those reads across the flag's changes: the barriers keep them inside.
volatile bool walking;
void* walk_resume[5];

inline void barrier() { asm volatile("" ::: "memory"); }

void write_text(const char* s, size_t n) {
    WRITE_CHARS(0, STDOUT, reinterpret_cast<const uint8_t*>(s), n, false);
}

void write_address(const void* p) {
    static const char hex[] = "0123456789ABCDEF";
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    uint8_t d[16];
    for (int i = 15; i >= 0; --i) {
        d[i] = static_cast<uint8_t>(hex[a & 15]);
        a >>= 4;
    }
    WRITE_CHARS(0, STDOUT, d, sizeof d, false);
}

void write_address_line(const void* p) {
    write_text("  $", 3);
    write_address(p);
    WRITE_LINEEND(STDOUT);
}

// A frame record: the caller's frame, then the return address into it.
struct FrameRecord {
    const FrameRecord* caller;
    const void* ret;
};

// One line per frame from base on. Stops at a null frame or return address,
// after a frame whose caller's frame is null, when the caller's frame does
// not lie higher, at a record that is misaligned or off the stack, and after
// the line limit. A run-time error or fault meanwhile ends it at once.
__attribute__((noinline)) void walk(const FrameRecord* base) {
    if (__builtin_setjmp(walk_resume)) return;
    unsigned limit = plat::is_char_device(STDOUT.handle) ? MAX_LINES_CHAR_DEVICE : MAX_LINES_OTHER;
    walking = true;
    barrier();
    const FrameRecord* f = base;
    for (unsigned lines = 0; f && lines < limit; ++lines) {
        if (reinterpret_cast<uintptr_t>(f) % alignof(FrameRecord) != 0 ||
            !plat::stack_holds(f, sizeof *f))
            break;
        const FrameRecord* caller = f->caller;
        const void* ret = f->ret;
        if (!ret) break;
        write_address_line(ret);
        if (!caller || caller <= f) break;
        f = caller;
    }
    barrier();
    walking = false;
}

}  // namespace

bool BACKTRACE_RUNNING() { return walking; }

void BACKTRACE_ABANDON() {
    barrier();
    walking = false;
    __builtin_longjmp(walk_resume, 1);
}

void WRITE_RUNTIME_ERROR_REPORT() {
    write_text("Runtime error ", 14);
    WRITE_UINT(0, STDOUT, ERRORCODE);
    write_text(" at $", 5);
    write_address(ERRORADDR);
    WRITE_LINEEND(STDOUT);
    write_address_line(ERRORADDR);
    walk(static_cast<const FrameRecord*>(ERRORBASE));
    WRITE_LINEEND(STDOUT);
}
