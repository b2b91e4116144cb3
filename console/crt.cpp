// Console set-up and screen output of the console device.
#include "console/crt.h"

#include "console/keyboard.h"
#include "console/lineentry.h"
#include "platform/console.h"

uint8_t TEXTATTR;
uint32_t WINDMINX, WINDMINY, WINDMAXX, WINDMAXY;
uint32_t CURRX, CURRY;

void CRTSETUP(void (*check)()) {
    plat::console_begin();
    plat::ScreenInfo si{};
    if (plat::console_info(&si)) {
        TEXTATTR = static_cast<uint8_t>(si.attr);
        WINDMINX = static_cast<uint32_t>(si.win_left) + 1;
        WINDMINY = static_cast<uint32_t>(si.win_top) + 1;
        WINDMAXX = static_cast<uint32_t>(si.win_right) + 1;
        WINDMAXY = static_cast<uint32_t>(si.win_bottom) + 1;
    } else {
        // Not a console: the captured state is all zeros, a one-cell window.
        TEXTATTR = 0;
        WINDMINX = WINDMINY = WINDMAXX = WINDMAXY = 1;
    }
    DOINGNUMCHARS = false;
    DOINGNUMCODE = 0;

    ASSIGNCRT(OUTPUT);
    TEXT_OPEN(OUTPUT, MODE_OUTPUT);
    check();
    OUTPUT.handle = plat::std_handle(plat::StdStream::Out);

    ASSIGNCRT(INPUT);
    TEXT_OPEN(INPUT, MODE_INPUT);
    check();
    INPUT.handle = plat::std_handle(plat::StdStream::In);
}

void CRTFINISH() { plat::console_end(); }

void ASSIGNCRT(TEXTREC& f) {
    TEXT_CLEAR(f);
    f.openfunc = CRTOPEN;
}

uint16_t CRTOPEN(TEXTREC& f) {
    if (f.mode == MODE_OUTPUT) {
        f.transferfunc = CRTWRITE;
        f.flushfunc = CRTWRITE;
    } else {
        f.mode = MODE_INPUT;
        f.transferfunc = CRTREAD;
        f.flushfunc = CRTRETURN;
    }
    f.closefunc = CRTCLOSE;
    return 0;
}

uint16_t CRTCLOSE(TEXTREC& f) {
    f.mode = MODE_CLOSED;
    return 0;
}

void GETSCREENCURSOR(uint32_t& x, uint32_t& y) {
    plat::ScreenInfo si{};
    if (plat::console_info(&si)) {
        x = static_cast<uint32_t>(si.cur_x) + 1;
        y = static_cast<uint32_t>(si.cur_y) + 1;
    } else {
        x = 1;
        y = 1;
    }
}

void SETSCREENCURSOR(uint32_t x, uint32_t y) {
    plat::set_cursor(static_cast<int>(x) - 1, static_cast<int>(y) - 1);
}

void REMOVELINE(uint32_t n) {
    // A line outside the window deletes nothing: every cell outside the
    // window stays as it is.
    if (n < 1 || n > WINDMAXY - WINDMINY + 1) return;
    int left = static_cast<int>(WINDMINX) - 1, right = static_cast<int>(WINDMAXX) - 1;
    int top = static_cast<int>(WINDMINY + n) - 2;  // the window line to delete
    int bottom = static_cast<int>(WINDMAXY) - 1;
    if (top < bottom) {
        plat::Rect src{left, top + 1, right, bottom};
        plat::Rect clip{left, top, right, bottom};
        plat::scroll(src, clip, left, top, ' ', TEXTATTR);
    } else {
        // The last line itself: nothing moves, it only becomes blank.
        plat::fill_chars(left, bottom, ' ', right - left + 1);
        plat::fill_attrs(left, bottom, TEXTATTR, right - left + 1);
    }
}

// After a byte's own effect: wrap at the right edge, scroll at the bottom.
static void wrap_and_scroll() {
    if (CURRX > WINDMAXX) {
        CURRX = WINDMINX;
        ++CURRY;
    }
    while (CURRY > WINDMAXY) {
        REMOVELINE(1);
        --CURRY;
    }
}

static bool ordinary(uint8_t c) { return c != 7 && c != 8 && c != 10 && c != 13; }

// Ordinary bytes into cells from the cursor on, at most up to the window's
// right edge; as WRITECHAR on each byte in turn.
static void put_run(const uint8_t* bytes, uint32_t n) {
    plat::write_chars(static_cast<int>(CURRX) - 1, static_cast<int>(CURRY) - 1, bytes,
                      static_cast<int>(n));
    plat::fill_attrs(static_cast<int>(CURRX) - 1, static_cast<int>(CURRY) - 1, TEXTATTR,
                     static_cast<int>(n));
    CURRX += n;
    wrap_and_scroll();
}

void WRITECHAR(uint8_t c) {
    if (plat::console_is_stream()) {
        plat::stream_write(&c, 1);
        return;
    }
    switch (c) {
    case 7: break;
    case 8:
        if (CURRX > WINDMINX) --CURRX;
        break;
    case 10: ++CURRY; break;
    case 13: CURRX = WINDMINX; break;
    default: put_run(&c, 1); return;
    }
    wrap_and_scroll();
}

uint16_t CRTWRITE(TEXTREC& f) {
    unsigned saved = plat::get_output_cp();
    plat::set_output_cp(plat::ansi_cp());
    GETSCREENCURSOR(CURRX, CURRY);
    if (plat::console_is_stream()) {
        plat::stream_write(f.buffer, f.fill);
    } else {
        uint32_t i = 0;
        while (i < f.fill) {
            if (!ordinary(f.buffer[i])) {
                WRITECHAR(f.buffer[i++]);
                continue;
            }
            // A run of ordinary bytes, cut at the window's right edge. A
            // cursor outside the window takes one byte at a time, since the
            // first one already wraps or scrolls.
            bool inside = CURRX <= WINDMAXX && CURRY <= WINDMAXY;
            uint32_t room = inside ? WINDMAXX - CURRX + 1 : 1;
            uint32_t j = i;
            while (j < f.fill && j - i < room && ordinary(f.buffer[j])) ++j;
            put_run(f.buffer + i, j - i);
            i = j;
        }
    }
    SETSCREENCURSOR(CURRX, CURRY);
    plat::set_output_cp(saved);
    f.fill = 0;
    return 0;
}

void CLRSCR() {
    int left = static_cast<int>(WINDMINX) - 1;
    int width = static_cast<int>(WINDMAXX - WINDMINX) + 1;
    for (uint32_t y = WINDMINY; y <= WINDMAXY; ++y) {
        plat::fill_attrs(left, static_cast<int>(y) - 1, TEXTATTR, width);
        plat::fill_chars(left, static_cast<int>(y) - 1, ' ', width);
    }
    GOTOXY(1, 1);
}

void GOTOXY(uint8_t x, uint8_t y) {
    if (x >= 1 && x <= WINDMAXX - WINDMINX + 1 && y >= 1 && y <= WINDMAXY - WINDMINY + 1)
        SETSCREENCURSOR(WINDMINX + x - 1u, WINDMINY + y - 1u);
}

void CRT_RESET() {
    TEXTATTR = 0;
    WINDMINX = WINDMINY = WINDMAXX = WINDMAXY = 0;
    CURRX = CURRY = 0;
}
