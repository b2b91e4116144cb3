// The run-time error report on STDOUT, with its backtrace.
#pragma once

// Writes the report of the error in ERRORCODE, ERRORADDR and ERRORBASE.
void WRITE_RUNTIME_ERROR_REPORT();
// Whether the backtrace walk is running; a run-time error raised then ends
// the walk through BACKTRACE_ABANDON, and the report goes on after it.
bool BACKTRACE_RUNNING();
[[noreturn]] void BACKTRACE_ABANDON();
