// Start-up with the module table, the I/O check, raising run-time errors,
// HALT and the termination steps.
#include "frame/frame.h"

#include "console/textdev.h"
#include "frame/faultmap.h"
#include "frame/plaindev.h"
#include "frame/report.h"
#include "platform/process.h"

uint16_t ERRORCODE;
const void* ERRORADDR;
const void* ERRORBASE;
uint8_t EXITSTATUS;
INITFINALTABLE INITFINAL;

// The caller's frame: the frame pointer that this function's frame saved.
static inline __attribute__((always_inline)) const void* caller_frame_of(void* own) {
    return *static_cast<void* const*>(own);
}
#define caller_frame() caller_frame_of(__builtin_frame_address(0))

// Entry 1: the five plain standard text devices, bound and opened in this
// order. No handle is checked and no I/O check follows.
static void FRAME_STARTUP() {
    plat::Handle in = plat::std_handle(plat::StdStream::In);
    plat::Handle out = plat::std_handle(plat::StdStream::Out);
    plat::Handle err = plat::std_handle(plat::StdStream::Err);
    PLAIN_ASSIGN(INPUT, in);
    TEXT_OPEN(INPUT, MODE_INPUT);
    PLAIN_ASSIGN(OUTPUT, out);
    TEXT_OPEN(OUTPUT, MODE_OUTPUT);
    PLAIN_ASSIGN(ERROUTPUT, err);
    TEXT_OPEN(ERROUTPUT, MODE_OUTPUT);
    PLAIN_ASSIGN(STDOUT, out);
    TEXT_OPEN(STDOUT, MODE_OUTPUT);
    PLAIN_ASSIGN(STDERR, err);
    TEXT_OPEN(STDERR, MODE_OUTPUT);
    INOUTRES = 0;
}

void FRAME_RUN(const MODULEENTRY& console, void (*body)()) {
    plat::install_fault_handler(FRAME_FAULT);
    INITFINAL.count = 2;
    INITFINAL.completed = 0;
    INITFINAL.entries[0] = MODULEENTRY{FRAME_STARTUP, nullptr};
    INITFINAL.entries[1] = console;
    for (uint32_t i = 0; i < INITFINAL.count; ++i) {
        if (INITFINAL.entries[i].init) INITFINAL.entries[i].init();
        INITFINAL.completed = i + 1;
    }
    body();
    TERMINATE();
}

// Never inlined: its return address is the point just after the check.
__attribute__((noinline)) void IOCHECK() {
    if (INOUTRES == 0) return;
    uint16_t n = INOUTRES;
    INOUTRES = 0;
    HANDLEERRORADDRFRAME(n, __builtin_return_address(0), caller_frame());
}

void HANDLEERRORADDRFRAME(uint32_t code, const void* addr, const void* frame) {
    ERRORCODE = static_cast<uint16_t>(code);
    ERRORADDR = addr;
    ERRORBASE = frame;
    if (BACKTRACE_RUNNING()) BACKTRACE_ABANDON();
    HALT(static_cast<uint8_t>(ERRORCODE));
}

__attribute__((noinline)) void HANDLEERROR(uint32_t code) {
    HANDLEERRORADDRFRAME(code, __builtin_return_address(0), caller_frame());
}

__attribute__((noinline)) void RUNERROR(uint32_t code) {
    HANDLEERRORADDRFRAME(code, __builtin_return_address(0), caller_frame());
}

void HALT(uint8_t status) {
    EXITSTATUS = status;
    TERMINATE();
}

// Hands on what a device holds at the end. A device that is not open for
// output holds nothing to hand on (OUTPUT left closed by a console set-up
// that failed before opening it): its FLUSH would only set 103, which would
// keep STDOUT's report in its buffer, so it is skipped. A write that failed
// still stops every later write and FLUSH.
static void final_flush(TEXTREC& f) {
    if (f.mode == MODE_OUTPUT) FLUSH(f);
}

// The termination steps: finalisation in reverse, the report, FLUSH of the
// output devices, the fault handler removed, the exit. No I/O check.
void TERMINATE() {
    while (INITFINAL.completed > 0) {
        uint32_t i = INITFINAL.completed--;
        if (INITFINAL.entries[i - 1].final) INITFINAL.entries[i - 1].final();
    }
    if (ERRORADDR) WRITE_RUNTIME_ERROR_REPORT();
    final_flush(OUTPUT);
    final_flush(ERROUTPUT);
    final_flush(STDOUT);
    final_flush(STDERR);
    plat::remove_fault_handler();
    plat::exit_process(EXITSTATUS);
}
