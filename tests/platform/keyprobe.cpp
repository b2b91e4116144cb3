// A small program for the key source's tests: it sets the input mode
// (begin), prints "ready", then reads key events the way the key wait does
// (count, read, sleep 1 ms) and prints each one as "K vk scan ch mods" until
// Enter, or until a given number of events, then restores the mode (end).
// Usage: keyprobe [--delay MS] [--events N]
//   --delay MS   wait before begin(), so a test can type ahead
//   --events N   stop after N events instead of at Enter
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/input.h"

int main(int argc, char** argv) {
    int delay_ms = 0;
    long limit = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--delay") == 0) delay_ms = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--events") == 0) limit = std::atol(argv[i + 1]);
    }
    // SIGQUIT is among the signals tested: no core files from it.
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);

    if (delay_ms > 0) usleep(static_cast<useconds_t>(delay_ms) * 1000);
    posix_input::begin();
    std::printf("ready\n");
    std::fflush(stdout);
    long got = 0;
    for (;;) {
        uint32_t n = 0;
        posix_input::count_events(&n);
        if (n == 0) {
            posix_input::sleep_1ms();
            continue;
        }
        plat::KeyEvent e{};
        if (!posix_input::read_event(&e)) continue;
        std::printf("K %u %u %u %#x\n", e.vk, e.scan, e.ch, e.mods);
        std::fflush(stdout);
        ++got;
        if (limit > 0 ? got == limit : e.vk == 13) break;
    }
    posix_input::end();
    std::printf("done\n");
    return 0;
}
