// Process facilities behind one OS-independent interface: the standard
// handles, the character-device test, a plain write, the hook for processor
// faults, and the exit.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

using Handle = intptr_t;  // a file descriptor on POSIX, a HANDLE on Windows
constexpr Handle NO_HANDLE = -1;

enum class StdStream { In, Out, Err };

Handle std_handle(StdStream which);
bool is_char_device(Handle h);
// Writes bytes to the handle once; returns how many it took, or -1 when the
// write was refused. A handle that is the console's terminal passes the bytes
// through the console backend, so its cursor stays accounted for.
long write_handle(Handle h, const uint8_t* bytes, size_t n);
[[noreturn]] void exit_process(uint8_t status);

// Processor faults, in the platform's own terms. The frame turns each kind
// into a run-time error number.
enum class FaultKind : uint8_t {
    IntDivideByZero,
    IntOverflow,         // a quotient too large for its register, INTO
    FltDivideByZero,
    FltOverflow,
    FltUnderflow,
    FltDenormal,
    FltInexact,
    FltInvalid,
    FltStackCheck,       // x87 register stack overflow or underflow
    ArrayBounds,
    StackOverflow,
    AccessViolation,
    IllegalInstruction,
    PrivilegedInstruction,
    OtherError,          // any other fault that stops the program
    Other,               // breakpoints and traps
};

struct Fault {
    FaultKind kind;
    const void* addr;   // the faulting instruction
    const void* frame;  // the frame record of the function that faulted
};

// Receives a fault on a stack of its own, after the faulting thread has left
// the fault behind; it must not return. A frame record is two words: the
// caller's frame, then the return address into the caller.
using FaultFunc = void (*)(const Fault& fault);

// Hooks processor faults of the whole process to on_fault, from now on; at
// most 16 faults may be on their way to on_fault at once, a fault beyond
// that gets the platform's default handling. Writes to a closed pipe fail
// as refused writes instead of ending the process.
void install_fault_handler(FaultFunc on_fault);
void remove_fault_handler();

// Whether the n bytes from p lie within one of the thread's stacks (its own
// stack as far as it may grow, or the stack faults are handled on). Such
// memory is not necessarily mapped yet.
bool stack_holds(const void* p, size_t n);

}  // namespace plat
