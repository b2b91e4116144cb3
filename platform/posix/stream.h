// The console when standard output is not a terminal: the device's bytes go
// to the fd as a plain stream, code page 852 converted to UTF-8, buffered and
// written at each flush's end. There are no cells: the console reports that
// it cannot be queried, and fills, scrolls and cell writes do nothing.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/console.h"

namespace posix_stream {

const plat::ConsoleOps* open(int fd);
// Sends what is buffered and forgets the fd.
void close();
// Called before a plain write to fd: when fd is this stream's file, the
// buffered bytes go out first so that nothing is reordered.
void before_plain_write(int fd);

// write() calls since open (for tests).
long write_calls();

}  // namespace posix_stream
