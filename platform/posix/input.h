// The key source on POSIX: standard input as a queue of key events. On a
// terminal it sets the input mode the device needs and decodes the bytes the
// terminal sends; on a pipe or file it turns the bytes into typed keys.
// The console backends (terminal and plain stream) share it.
#pragma once
#include <cstdint>

#include "platform/console.h"

namespace posix_input {

// Puts a terminal on standard input into the device's input mode, once;
// the previous mode comes back with end(), at normal end, and when
// SIGINT, SIGTERM, SIGHUP or SIGQUIT ends the process.
void begin();
void end();

// Called from count_events once the process continues after a stop, so
// that the screen's owner can draw again what the shell drew over.
void on_continue(void (*redraw)());

bool count_events(uint32_t* n);
bool read_event(plat::KeyEvent* ev);
// Waits at most 1 ms, less when input arrives.
void sleep_1ms();

}  // namespace posix_input
