// The platform's own console on POSIX: the terminal backend when standard
// output is a terminal, the plain-stream backend otherwise. Both take their
// keys from the posix key source.
#include <unistd.h>

#include "platform/console.h"
#include "platform/posix/stream.h"
#include "platform/posix/terminal.h"

namespace plat {

const ConsoleOps* native_console() {
    static const ConsoleOps* chosen = isatty(1) == 1 ? posix_term::open_terminal(1) : posix_stream::open(1);
    return chosen;
}

}  // namespace plat
