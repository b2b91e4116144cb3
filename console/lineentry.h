// The console device's input side: line entry (CRTREAD) into INPUT's
// buffer, CRTRETURN, CHECKREAD, and the two reads that take the line out.
#pragma once
#include <cstdint>

#include "console/textdev.h"

// Line entry stops Ctrl+Z only when CHECKEOF is on; byte 26 ends the reads
// while CTRLZMARKSEOF is on.
extern bool CHECKEOF;
extern const bool CTRLZMARKSEOF;

uint16_t CRTREAD(TEXTREC& f);
uint16_t CRTRETURN(TEXTREC& f);
bool CHECKREAD(TEXTREC& f);
void READ_PSTRING(TEXTREC& f, PSTRING& s, uint8_t capacity);
void READ_LINEEND(TEXTREC& f);
