// Placeholder native console until the terminal backend lands: behaves as a
// console that cannot be queried and drops its output.
#include "platform/console.h"

namespace plat {
namespace {
void nop() {}
bool no_info(ScreenInfo*) { return false; }
bool no_cursor(int, int) { return false; }
void no_chars(int, int, const uint8_t*, int) {}
void no_fill(int, int, uint8_t, int) {}
void no_scroll(Rect, Rect, int, int, uint8_t, uint8_t) {}
unsigned cp852() { return 852; }
bool set_cp(unsigned) { return true; }
bool yes() { return true; }
void no_stream(const uint8_t*, size_t) {}
bool no_count(uint32_t* n) { *n = 0; return true; }
bool no_event(KeyEvent*) { return false; }
const ConsoleOps table = {nop, nop, no_info, no_cursor, no_chars, no_fill, no_fill, no_scroll,
                          cp852, set_cp, cp852, yes, no_stream, no_count, no_event, nop};
}  // namespace
const ConsoleOps* native_console() { return &table; }
}  // namespace plat
