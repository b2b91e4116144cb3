// Process facilities on POSIX: the standard handles are file descriptors 0,
// 1 and 2; a character device is anything isatty() accepts. The fault hook
// is in faults.cpp.
#include <cerrno>
#include <unistd.h>

#include "platform/process.h"
#include "platform/posix/input.h"
#include "platform/posix/stream.h"
#include "platform/posix/terminal.h"

namespace plat {

Handle std_handle(StdStream which) {
    switch (which) {
    case StdStream::In: return 0;
    case StdStream::Out: return 1;
    case StdStream::Err: return 2;
    }
    return NO_HANDLE;
}

bool is_char_device(Handle h) { return h >= 0 && isatty(static_cast<int>(h)) == 1; }

long write_handle(Handle h, const uint8_t* bytes, size_t n) {
    if (h < 0) return -1;
    // Bytes for the console's own terminal keep its cursor accounted for;
    // bytes for its plain stream come after what it has buffered.
    long taken;
    if (posix_term::plain_write(static_cast<int>(h), bytes, n, &taken)) return taken;
    posix_stream::before_plain_write(static_cast<int>(h));
    ssize_t r;
    do r = ::write(static_cast<int>(h), bytes, n);
    while (r < 0 && errno == EINTR);
    return r < 0 ? -1 : static_cast<long>(r);
}

// However the run ends, a terminal whose input mode the key source set gets
// its mode back: also after a console set-up that failed half way, which
// is never finalised.
void exit_process(uint8_t status) {
    posix_input::end();
    _exit(status);
}

}  // namespace plat
