// Write operations on text devices and the append rule of their buffer.
#include "console/textdev.h"

#include <cstring>
#include <initializer_list>

uint16_t INOUTRES;
TEXTREC INPUT, OUTPUT, ERROUTPUT, STDOUT, STDERR;

void TEXT_CLEAR(TEXTREC& f) {
    std::memset(&f, 0, sizeof f);
    f.mode = MODE_CLOSED;
    f.handle = plat::NO_HANDLE;
    f.lineend[0] = 13;
    f.lineend[1] = 10;
}

void TEXT_OPEN(TEXTREC& f, TEXTMODE mode) {
    if (INOUTRES != 0) return;
    if (f.openfunc == nullptr) {  // never bound
        INOUTRES = 102;
        return;
    }
    f.mode = mode;
    f.fill = 0;
    f.end = 0;
    f.openfunc(f);
}

// The common start of every write and line end: true when the device may
// take bytes, otherwise the I/O result tells why not.
static bool output_ready(TEXTREC& f) {
    if (INOUTRES != 0) return false;
    if (f.mode == MODE_OUTPUT) return true;
    INOUTRES = f.mode == MODE_INPUT ? 105 : 103;
    return false;
}

// Appends bytes; each time the buffer fills, the transfer function hands the
// 256 bytes on. A buffer left exactly full waits for the next append.
static void append(TEXTREC& f, const uint8_t* bytes, size_t n) {
    size_t free = TEXTBUFSIZE - f.fill;
    while (n > free) {
        std::memcpy(f.buffer + f.fill, bytes, free);
        bytes += free;
        n -= free;
        f.fill = TEXTBUFSIZE;
        f.transferfunc(f);
        free = TEXTBUFSIZE - f.fill;
    }
    std::memcpy(f.buffer + f.fill, bytes, n);
    f.fill += static_cast<uint32_t>(n);
}

static void append_blanks(TEXTREC& f, size_t n) {
    static const uint8_t blanks[32] = {32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32,
                                       32, 32, 32, 32, 32, 32, 32, 32, 32, 32, 32,
                                       32, 32, 32, 32, 32, 32, 32, 32, 32, 32};
    while (n > 0) {
        size_t k = n < sizeof blanks ? n : sizeof blanks;
        append(f, blanks, k);
        n -= k;
    }
}

// Blanks for the field width, then the text.
static void write_field(int32_t width, TEXTREC& f, const uint8_t* text, size_t n) {
    if (width > 0 && static_cast<size_t>(width) > n) append_blanks(f, static_cast<size_t>(width) - n);
    append(f, text, n);
}

void WRITE_CHARS(int32_t width, TEXTREC& f, const uint8_t* bytes, size_t n, bool stopatzero) {
    if (!output_ready(f)) return;
    if (stopatzero) {
        const void* z = std::memchr(bytes, 0, n);
        if (z) n = static_cast<size_t>(static_cast<const uint8_t*>(z) - bytes);
    }
    write_field(width, f, bytes, n);
}

void WRITE_PSTRING(int32_t width, TEXTREC& f, const PSTRING& s) {
    if (!output_ready(f)) return;
    write_field(width, f, s.ch, s.len);
}

// Decimal digits of v into the end of buf; returns the first digit.
static uint8_t* digits(uint32_t v, uint8_t* end) {
    do {
        *--end = static_cast<uint8_t>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

void WRITE_SINT(int32_t width, TEXTREC& f, int32_t v) {
    if (!output_ready(f)) return;
    uint8_t buf[11];
    uint8_t* end = buf + sizeof buf;
    // The magnitude is taken in unsigned arithmetic, so INT32_MIN is exact.
    uint32_t mag = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    uint8_t* p = digits(mag, end);
    if (v < 0) *--p = '-';
    write_field(width, f, p, static_cast<size_t>(end - p));
}

void WRITE_UINT(int32_t width, TEXTREC& f, uint32_t v) {
    if (!output_ready(f)) return;
    uint8_t buf[10];
    uint8_t* end = buf + sizeof buf;
    uint8_t* p = digits(v, end);
    write_field(width, f, p, static_cast<size_t>(end - p));
}

void WRITE_LINEEND(TEXTREC& f) {
    if (!output_ready(f)) return;
    append(f, f.lineend, 2);
    if (f.flushfunc) f.flushfunc(f);
}

void FLUSH(TEXTREC& f) {
    if (INOUTRES != 0) return;
    if (f.mode == MODE_OUTPUT) {
        f.transferfunc(f);
        return;
    }
    INOUTRES = f.mode == MODE_INPUT ? 105 : 103;
}

void TEXTDEV_RESET() {
    INOUTRES = 0;
    for (TEXTREC* f : {&INPUT, &OUTPUT, &ERROUTPUT, &STDOUT, &STDERR}) std::memset(f, 0, sizeof *f);
}
