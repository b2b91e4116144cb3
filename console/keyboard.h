// The console device's keyboard side: key events to characters and key
// codes (KEYPRESSED, READKEY, REMAPSCANCODE) with the pending-key state and
// the Alt + keypad composition.
#pragma once
#include <cstdint>

extern uint8_t SCANCODE;
extern bool SPECIALKEY;
extern bool DOINGNUMCHARS;
extern uint8_t DOINGNUMCODE;

// Codes of scan codes 71 to 83 with Ctrl held.
extern const uint8_t CTRLKEYPADKEYS[13];

bool KEYPRESSED();
uint8_t READKEY();
uint8_t REMAPSCANCODE(uint8_t scan, uint8_t mods);

// Back to the zero state of process start (for tests).
void KEYBOARD_RESET();
