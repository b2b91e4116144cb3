// The program frame: process entry with the module table, the plain
// standard text devices, the I/O check, run-time errors, the fault handler
// and termination.
#pragma once
#include <cstdint>

// One entry of the module table; either routine may be absent.
struct MODULEENTRY {
    void (*init)();
    void (*final)();
};

// The module table: entry 1 is the frame's own start-up, entry 2 the console
// set-up. completed counts the entries whose set-up has run; only those are
// finalised, in reverse order.
struct INITFINALTABLE {
    uint32_t count;
    uint32_t completed;
    MODULEENTRY entries[2];
};
extern INITFINALTABLE INITFINAL;

// Runs the process: fault handler, module set-up (the frame's own start-up,
// then `console`), the body, and normal termination if the body returns.
[[noreturn]] void FRAME_RUN(const MODULEENTRY& console, void (*body)());

// Returns when INOUTRES is 0; otherwise raises the run-time error of that
// number at the point just after the call.
void IOCHECK();

// Records a run-time error and halts with its number; during the report's
// backtrace walk it ends the walk instead.
[[noreturn]] void HANDLEERRORADDRFRAME(uint32_t code, const void* addr, const void* frame);
// Raise a run-time error located at their caller.
[[noreturn]] void HANDLEERROR(uint32_t code);
[[noreturn]] void RUNERROR(uint32_t code);
[[noreturn]] void HALT(uint8_t status);
// Normal termination: the termination steps with the exit status unchanged.
[[noreturn]] void TERMINATE();

extern uint16_t ERRORCODE;
extern const void* ERRORADDR;
extern const void* ERRORBASE;
extern uint8_t EXITSTATUS;
