// The word-reversal dialogue: asks for a word, says how long it is, builds
// it backwards one character at a time showing every stage, and waits for a
// key.
#pragma once
#include <cstdint>

#include "console/textdev.h"

extern PSTRING SZO;        // the word as entered, without its line end
extern PSTRING FORDITOTT;  // the reversed word, built up step by step
extern int16_t SZOHOSSZ;   // the number of characters in SZO
extern int16_t I;          // the position the reversal is at

// The fixed texts, code page 852 bytes, each followed in storage by a zero
// byte that is not part of it.
extern const uint8_t PROMPT_TEXT[36];
extern const uint8_t LENGTH_LEAD[13];
extern const uint8_t LENGTH_TAIL[18];
extern const uint8_t RESULT_LEAD[21];

// Runs the dialogue once; ends the process through normal termination.
[[noreturn]] void DIALOGUE();
// The dialogue up to and including the key wait, without the termination.
void DIALOGUE_STEPS();
