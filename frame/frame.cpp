// Minimal frame: module set-up, the body, normal termination.
#include "frame/frame.h"

#include "console/textdev.h"
#include "platform/process.h"

uint16_t ERRORCODE;
const void* ERRORADDR;
const void* ERRORBASE;
uint8_t EXITSTATUS;

static const MODULEENTRY* console_module;

// The caller's frame: the frame pointer that this function's frame saved.
static inline __attribute__((always_inline)) const void* caller_frame_of(void* own) {
    return *static_cast<void* const*>(own);
}
#define caller_frame() caller_frame_of(__builtin_frame_address(0))

[[noreturn]] void FRAME_RUN(const MODULEENTRY& console, void (*body)()) {
    console_module = &console;
    if (console.init) console.init();
    body();
    TERMINATE();
}

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
    HALT(static_cast<uint8_t>(ERRORCODE));
}

void HANDLEERROR(uint32_t code) {
    HANDLEERRORADDRFRAME(code, __builtin_return_address(0), caller_frame());
}
void RUNERROR(uint32_t code) {
    HANDLEERRORADDRFRAME(code, __builtin_return_address(0), caller_frame());
}

void HALT(uint8_t status) {
    EXITSTATUS = status;
    TERMINATE();
}

void TERMINATE() {
    if (console_module && console_module->final) console_module->final();
    FLUSH(OUTPUT);
    plat::exit_process(EXITSTATUS);
}
