// Holds the console backend in use and hands it out.
#include "platform/console.h"

namespace plat {

static const ConsoleOps* current = nullptr;

void use_console(const ConsoleOps* ops) { current = ops; }

const ConsoleOps& console() {
    if (!current) current = native_console();
    return *current;
}

}  // namespace plat
