// The table of faults: each kind of processor fault and its run-time error.
#include "frame/faultmap.h"

#include "frame/frame.h"

namespace {
using FK = plat::FaultKind;
struct FaultError {
    FK kind;
    uint16_t number;
};
constexpr FaultError fault_errors[] = {
    {FK::IntDivideByZero, 200}, {FK::FltDivideByZero, 200},
    {FK::ArrayBounds, 201},
    {FK::StackOverflow, 202},
    {FK::FltOverflow, 205},
    {FK::FltUnderflow, 206},    {FK::FltDenormal, 206},
    {FK::FltInexact, 207},      {FK::FltInvalid, 207},      {FK::FltStackCheck, 207},
    {FK::IntOverflow, 215},
    {FK::AccessViolation, 216}, {FK::IllegalInstruction, 216},
    {FK::OtherError, 217},
    {FK::PrivilegedInstruction, 218},
};
}  // namespace

uint16_t FAULT_ERROR_NUMBER(plat::FaultKind kind) {
    for (const FaultError& e : fault_errors)
        if (e.kind == kind) return e.number;
    return 255;
}

void FRAME_FAULT(const plat::Fault& fault) {
    HANDLEERRORADDRFRAME(FAULT_ERROR_NUMBER(fault.kind), fault.addr, fault.frame);
}
