// Processor faults as run-time errors.
#pragma once
#include <cstdint>

#include "platform/process.h"

// The run-time error number of a kind of fault.
uint16_t FAULT_ERROR_NUMBER(plat::FaultKind kind);
// The fault handler's way into the frame: raises the fault's run-time error
// at the faulting instruction, with the faulting function's frame.
[[noreturn]] void FRAME_FAULT(const plat::Fault& fault);
