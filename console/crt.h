// The console device's screen side: the console state, the console set-up,
// binding and opening console devices, and showing bytes in cells at the
// device's cursor (CRTWRITE, WRITECHAR, REMOVELINE), CLRSCR, GOTOXY and the
// cursor access shared with line entry.
#pragma once
#include <cstdint>

#include "console/textdev.h"

// Console state, in screen coordinates counted from 1.
extern uint8_t TEXTATTR;
extern uint32_t WINDMINX, WINDMINY, WINDMAXX, WINDMAXY;
extern uint32_t CURRX, CURRY;

// Console set-up: captures the window and attribute, resets the Alt-keypad
// composition, binds and opens OUTPUT then INPUT as console devices. check
// runs after each opening (the caller's I/O check).
void CRTSETUP(void (*check)());
// Gives the terminal back the mode it had before the set-up.
void CRTFINISH();

void ASSIGNCRT(TEXTREC& f);
uint16_t CRTOPEN(TEXTREC& f);
uint16_t CRTCLOSE(TEXTREC& f);
uint16_t CRTWRITE(TEXTREC& f);

void WRITECHAR(uint8_t c);
void REMOVELINE(uint32_t n);
void CLRSCR();
void GOTOXY(uint8_t x, uint8_t y);
void GETSCREENCURSOR(uint32_t& x, uint32_t& y);
void SETSCREENCURSOR(uint32_t x, uint32_t y);

// Back to the zero state of process start (for tests).
void CRT_RESET();
