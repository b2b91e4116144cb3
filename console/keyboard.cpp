// Placeholder until the keyboard lands.
#include "console/keyboard.h"

uint8_t SCANCODE;
bool SPECIALKEY;
bool DOINGNUMCHARS;
uint8_t DOINGNUMCODE;
const uint8_t CTRLKEYPADKEYS[13] = {119, 141, 132, 142, 115, 143, 116, 78, 117, 145, 118, 146, 147};

bool KEYPRESSED() { return false; }
uint8_t READKEY() { return 13; }
uint8_t REMAPSCANCODE(uint8_t scan, uint8_t) { return scan; }
void KEYBOARD_RESET() { SCANCODE = 0; SPECIALKEY = DOINGNUMCHARS = false; DOINGNUMCODE = 0; }
