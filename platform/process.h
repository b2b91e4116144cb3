// Process facilities behind one OS-independent interface: the standard
// handles, the character-device test, a plain write, and the exit.
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

}  // namespace plat
