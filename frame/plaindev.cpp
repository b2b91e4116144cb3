// Plain text devices on operating-system handles.
#include "frame/plaindev.h"

#include "platform/process.h"

void PLAIN_ASSIGN(TEXTREC& f, plat::Handle h) {
    TEXT_CLEAR(f);
    f.handle = h;
    f.openfunc = PLAINOPEN;
}

// Output: PLAINWRITE transfers, and flushes at each line end only on a
// character device. Input is never read through a plain device here, so it
// gets no functions. No close function: no device is closed.
uint16_t PLAINOPEN(TEXTREC& f) {
    if (f.mode == MODE_OUTPUT) {
        f.transferfunc = PLAINWRITE;
        f.flushfunc = plat::is_char_device(f.handle) ? PLAINWRITE : nullptr;
    } else {
        f.mode = MODE_INPUT;
        f.transferfunc = nullptr;
        f.flushfunc = nullptr;
    }
    f.closefunc = nullptr;
    return 0;
}

uint16_t PLAINWRITE(TEXTREC& f) {
    if (f.fill > 0) {
        long taken = plat::write_handle(f.handle, f.buffer, f.fill);
        if (taken != static_cast<long>(f.fill)) INOUTRES = 101;
    }
    f.fill = 0;
    return 0;
}
