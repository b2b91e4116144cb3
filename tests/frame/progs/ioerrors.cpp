// A program that links the frame with a body that ends in a run-time error
// (or not), chosen by its argument: I/O errors caught by the I/O check,
// deep and broken frame chains, a null frame, an error during the console
// set-up, text that OUTPUT still holds at the end.
#include <pthread.h>

#include <cstdint>
#include <cstring>

#include "console/crt.h"
#include "frame/frame.h"
#include "frame/plaindev.h"

#define NOINLINE extern "C" __attribute__((noinline))

volatile int sink;

static void write_text(TEXTREC& f, const char* s) {
    WRITE_CHARS(0, f, reinterpret_cast<const uint8_t*>(s), std::strlen(s), false);
}

// A write to INPUT sets I/O result 105; the check turns it into the error.
NOINLINE void io_level2() {
    write_text(INPUT, "x");
    IOCHECK();  // LINE:iocheck
    sink = 1;
}
NOINLINE void io_level1() {
    io_level2();
    sink = 2;
}
NOINLINE void body_input_write() {
    io_level1();
    sink = 3;
}

NOINLINE void deep(int n) {
    if (n > 0)
        deep(n - 1);
    else
        io_level2();
    sink = n;
}
NOINLINE void body_deep() { deep(300); }

NOINLINE void body_null_base() {
    HANDLEERRORADDRFRAME(217, reinterpret_cast<const void*>(&body_null_base), nullptr);
}

static uintptr_t stack_low, stack_high;
static void find_stack() {
    pthread_attr_t attr;
    void* lo;
    size_t size;
    pthread_getattr_np(pthread_self(), &attr);
    pthread_attr_getstack(&attr, &lo, &size);
    pthread_attr_destroy(&attr);
    stack_low = reinterpret_cast<uintptr_t>(lo);
    stack_high = stack_low + size;
}

// The first frame record lies where the stack may grow but has not: reading
// it faults, which ends the walk.
NOINLINE void body_walk_fault() {
    HANDLEERRORADDRFRAME(217, reinterpret_cast<const void*>(&body_walk_fault),
                         reinterpret_cast<const void*>(stack_low + 4096));
}

// This function's own record names a caller frame above the stack.
NOINLINE void body_broken_chain() {
    void** own = static_cast<void**>(__builtin_frame_address(0));
    own[0] = reinterpret_cast<void*>(stack_high + 4096);
    io_level1();
    sink = 4;
}

NOINLINE void body_runerror() {
    RUNERROR(201);
}
NOINLINE void body_halt() { HALT(3); }
NOINLINE void body_normal() {}

// OUTPUT holds text without a line end when the run ends.
NOINLINE void body_held_error() {
    write_text(OUTPUT, "HELD");
    io_level2();
}
NOINLINE void body_held_normal() { write_text(OUTPUT, "HELD"); }

// OUTPUT holds text, and the report is too long for one buffer.
NOINLINE void body_held_deep() {
    write_text(OUTPUT, "HELD");
    deep(300);
}

NOINLINE void body_marker() { write_text(STDOUT, "BODY RAN"); }

static void console_init() { CRTSETUP(IOCHECK); }
// The console set-up meets an I/O result it did not cause.
static void console_init_failing() {
    INOUTRES = 103;
    CRTSETUP(IOCHECK);
}

// STDOUT on a handle that refuses every write; OUTPUT stays the plain
// device on standard output.
static void stdout_refusing() {
    PLAIN_ASSIGN(STDOUT, plat::NO_HANDLE);
    TEXT_OPEN(STDOUT, MODE_OUTPUT);
}

// A finalisation that faults after the terminal has its mode back.
int* volatile vnull;
NOINLINE void final_faulting() {
    CRTFINISH();
    *vnull = 1;
}

// An OUTPUT whose transfer faults, every time the termination flushes it.
NOINLINE uint16_t transfer_faulting(TEXTREC&) { return static_cast<uint16_t>(*vnull); }
static uint16_t open_faulting(TEXTREC& f) {
    f.transferfunc = transfer_faulting;
    return 0;
}
static void console_init_faulting() {
    CRTSETUP(IOCHECK);
    TEXT_CLEAR(OUTPUT);
    OUTPUT.openfunc = open_faulting;
    TEXT_OPEN(OUTPUT, MODE_OUTPUT);
}
NOINLINE void body_output_text() { write_text(OUTPUT, "x"); }

static const MODULEENTRY real_console = {console_init, CRTFINISH};
static const MODULEENTRY faulting_output = {console_init_faulting, CRTFINISH};
static const MODULEENTRY faulting_final = {console_init, final_faulting};
static const MODULEENTRY failing_console = {console_init_failing, CRTFINISH};
static const MODULEENTRY no_console = {nullptr, nullptr};
static const MODULEENTRY refusing_stdout = {stdout_refusing, nullptr};

struct Case {
    const char* name;
    const MODULEENTRY* console;
    void (*body)();
};
static const Case cases[] = {
    {"input_write", &real_console, body_input_write},
    {"deep", &real_console, body_deep},
    {"null_base", &real_console, body_null_base},
    {"walk_fault", &real_console, body_walk_fault},
    {"broken_chain", &real_console, body_broken_chain},
    {"runerror", &real_console, body_runerror},
    {"halt", &real_console, body_halt},
    {"normal", &real_console, body_normal},
    {"held_error", &no_console, body_held_error},
    {"held_normal", &no_console, body_held_normal},
    {"setup_error", &failing_console, body_marker},
    {"final_fault", &faulting_final, body_input_write},
    {"flush_fault", &faulting_output, body_output_text},
    {"stdout_refused", &refusing_stdout, body_held_deep},
};

int main(int argc, char** argv) {
    find_stack();
    for (const Case& c : cases)
        if (argc > 1 && std::strcmp(argv[1], c.name) == 0) FRAME_RUN(*c.console, c.body);
    return 2;
}
