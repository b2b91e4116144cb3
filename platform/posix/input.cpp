// Placeholder until the key source lands: no keys, no mode.
#include "platform/posix/input.h"

#include <time.h>

namespace posix_input {
void begin() {}
void end() {}
bool count_events(uint32_t* n) { *n = 0; return true; }
bool read_event(plat::KeyEvent*) { return false; }
void sleep_1ms() { timespec t{0, 1000000}; nanosleep(&t, nullptr); }
}  // namespace posix_input
