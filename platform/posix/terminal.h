// The console on a Linux terminal: a screen of the terminal's size at start,
// drawn with cursor addressing, erasing and the terminal's own scrolling.
// The backend keeps the console's cursor itself and never asks the terminal
// where its cursor is; it also tracks where the terminal's cursor really is,
// so that it positions only when needed and never trusts the terminal's wrap.
// All bytes of one flush are gathered and sent with one write().
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/console.h"

namespace posix_term {

// Opens the backend on a terminal fd, sized by TIOCGWINSZ (0x0 is 80x24).
const plat::ConsoleOps* open_terminal(int fd);
// Opens the backend on any fd with a given size (for tests and benchmarks:
// a pipe, a memory file, /dev/null). Begin and end still drive the key source.
const plat::ConsoleOps* open(int fd, int cols, int rows);
// Sends what is gathered and forgets the fd (plain writes then go straight out).
void close();

// Plain bytes for fd, as the frame writes them with write_handle. When fd is
// the terminal this backend draws on, the bytes go out through it, starting
// at the console's cursor, and the cursor follows them as the terminal moves
// its own; *taken is the count written or -1. False when fd is another file.
bool plain_write(int fd, const uint8_t* bytes, size_t n, long* taken);

// Counters for tests and benchmarks: write() calls and bytes sent since open.
long write_calls();
long bytes_sent();

// Shared with the plain-stream backend: writes all n bytes, retrying after
// EINTR and waiting while a non-blocking fd is full; counts each write() in
// *calls. False when the fd refuses them.
bool write_all(int fd, const void* bytes, size_t n, long* calls);
// Whether two fds stand for the same file (the same terminal, pipe or file).
bool same_file(int a, int b);

}  // namespace posix_term
