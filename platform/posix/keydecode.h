// Key decoding without I/O: the bytes a terminal sends, each with the time it
// was read, become key events as a console reports them (virtual key, scan
// code of set 1 on a US layout, code-page-852 character, modifier flags).
// A second, simpler decoder turns the bytes of redirected input (a pipe or a
// file) into typed characters and Enter.
#pragma once
#include <cstdint>

#include "platform/console.h"

namespace keydecode {

// A UTF-8 character under way.
struct Utf8 {
    uint8_t need;        // continuation bytes still to come; 0: none under way
    uint8_t len;         // length of the whole sequence
    char32_t cp;         // the code point so far
};

// A lone Esc is told from the start of a sequence by time: when nothing
// follows it within this many milliseconds it is the Esc key.
constexpr uint64_t ESC_TIMEOUT_MS = 40;

// The events one call can produce at most.
constexpr int MAX_OUT = 4;
struct Out {
    plat::KeyEvent ev[MAX_OUT];
    int n;
};

// Where a terminal decoder stands within a sequence. Fixed size: however
// long a sequence runs, nothing grows.
struct Terminal {
    uint8_t state;       // one of the states in keydecode.cpp
    uint8_t escs;        // Esc bytes that opened the current prefix (1 or 2)
    bool alt;            // the key being decoded is Alt + key
    bool bad;            // the sequence is already known to be none of ours
    uint8_t seq_len;     // bytes after the introducer
    uint8_t nparams;     // CSI/SS3 parameters seen (the current one included)
    uint16_t params[4];
    Utf8 u8;
    uint64_t last_ms;    // when the last byte of the pending prefix was read
};

void reset(Terminal* t);
// One byte read at now_ms; appends the events it completes to out. A prefix
// that waited ESC_TIMEOUT_MS or more is resolved first.
void feed(Terminal* t, uint8_t byte, uint64_t now_ms, Out* out);
// Resolves a pending prefix once ESC_TIMEOUT_MS have passed since its last
// byte: a lone Esc becomes the Esc key, a cut-off sequence is dropped.
void tick(Terminal* t, uint64_t now_ms, Out* out);
// Resolves whatever is pending, as if the timeout had passed.
void flush(Terminal* t, Out* out);
// True while bytes wait for what follows them.
bool pending(const Terminal* t);

// Redirected input: bytes are typed characters. UTF-8 is decoded to code
// page 852; CR, LF, a CR LF pair and byte 26 are Enter.
struct Stream {
    bool after_cr;       // the last byte was a CR, so an LF right after it is part of it
    Utf8 u8;
};

void reset(Stream* s);
void feed(Stream* s, uint8_t byte, Out* out);
// End of input: an unfinished UTF-8 character becomes '?'.
void flush(Stream* s, Out* out);

// The event of the Enter key (what redirected input yields at its end).
plat::KeyEvent enter_key();

}  // namespace keydecode
