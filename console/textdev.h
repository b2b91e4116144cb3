// The text device record, the I/O result and the write operations that fill
// a device's 256-byte buffer: character arrays, length-prefixed strings,
// integers, line ends and FLUSH. The five standard text devices live here so
// that both the frame (which binds them) and the console set-up (which
// rebinds INPUT and OUTPUT) can reach them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/process.h"

constexpr unsigned TEXTBUFSIZE = 256;

// A length-prefixed string: a length byte and room for 255 characters.
// ch[0] is position 1.
struct PSTRING {
    uint8_t len;
    uint8_t ch[255];
};

enum TEXTMODE : uint8_t { MODE_CLOSED = 0, MODE_INPUT = 1, MODE_OUTPUT = 2 };

struct TEXTREC;
// A device function: takes the device, returns a result that no caller reads.
using TEXTFUNC = uint16_t (*)(TEXTREC& f);

struct TEXTREC {
    TEXTMODE mode;
    plat::Handle handle;
    uint8_t namelen;       // the name, as a length-prefixed string
    char name[255];
    uint32_t fill;         // output: bytes waiting; input: the read position
    uint32_t end;          // input: number of valid bytes
    uint8_t lineend[2];    // CR LF
    uint8_t buffer[TEXTBUFSIZE];
    TEXTFUNC openfunc;
    TEXTFUNC transferfunc;
    TEXTFUNC flushfunc;
    TEXTFUNC closefunc;
};

// The I/O result: 0 for success. While it is not 0 every opening, write,
// line end, FLUSH and read does nothing.
extern uint16_t INOUTRES;

// The five standard text devices.
extern TEXTREC INPUT, OUTPUT, ERROUTPUT, STDOUT, STDERR;

// Resets a device to closed with an empty buffer, line end CR LF, no
// handle and no functions.
void TEXT_CLEAR(TEXTREC& f);
// Opens a bound device: sets the mode, empties the buffer, calls the open
// function. Does nothing while INOUTRES is not 0; 102 when never bound.
void TEXT_OPEN(TEXTREC& f, TEXTMODE mode);

void WRITE_CHARS(int32_t width, TEXTREC& f, const uint8_t* bytes, size_t n, bool stopatzero);
void WRITE_PSTRING(int32_t width, TEXTREC& f, const PSTRING& s);
void WRITE_SINT(int32_t width, TEXTREC& f, int32_t v);
void WRITE_UINT(int32_t width, TEXTREC& f, uint32_t v);
void WRITE_LINEEND(TEXTREC& f);
void FLUSH(TEXTREC& f);

// Back to the zero state of process start (for tests).
void TEXTDEV_RESET();
