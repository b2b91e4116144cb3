// The console device's input side. CRTREAD runs one line entry: it takes
// keys through READKEY, echoes them through WRITECHAR at the device's cursor
// and edits the line in place in the device's buffer, where the read
// position is the cursor's index in the line and the buffer end the line's
// length. Editing overwrites; Enter appends CR LF. The reads then take the
// line out of the buffer: a length-prefixed string up to its line end, and
// the line end itself.
#include "console/lineentry.h"

#include "console/crt.h"
#include "console/keyboard.h"
#include "platform/console.h"

bool CHECKEOF;
const bool CTRLZMARKSEOF = true;

namespace {

// The line leaves room for its line end CR LF in the buffer.
constexpr uint32_t LINE_MAX = TEXTBUFSIZE - 2;
constexpr uint8_t CTRL_Z = 26;

// Bytes between the read position and the buffer end. A buffer end beyond
// the buffer, which only a faulty device function could leave, counts as
// the buffer's size, so no read runs past the buffer.
uint32_t waiting(const TEXTREC& f) {
    uint32_t end = f.end < TEXTBUFSIZE ? f.end : TEXTBUFSIZE;
    return f.fill < end ? end - f.fill : 0;
}

void transfer(TEXTREC& f) {
    if (f.transferfunc) f.transferfunc(f);
}
void flush(TEXTREC& f) {
    if (f.flushfunc) f.flushfunc(f);
}

// --- line entry ------------------------------------------------------------

// A key's effect on the line; true when it ends the entry.
using KeyAction = bool (*)(TEXTREC& f);
struct KeyBinding {
    uint8_t code;
    KeyAction act;
};

// Erases the last character, on the screen too, but only with the cursor
// at the end of a line that is not empty.
void erase_last(TEXTREC& f) {
    if (f.fill != f.end || f.fill == 0) return;
    WRITECHAR(8);
    WRITECHAR(32);
    WRITECHAR(8);
    --f.fill;
    --f.end;
}

// Stores a character at the cursor, overwriting, while the line has room.
bool put_char(TEXTREC& f, uint8_t c) {
    if (f.fill < LINE_MAX) {
        f.buffer[f.fill++] = c;
        WRITECHAR(c);
    }
    return false;
}

// Echoes the character under the cursor and moves past it.
void step_right(TEXTREC& f) {
    WRITECHAR(f.buffer[f.fill]);
    ++f.fill;
}

bool key_erase(TEXTREC& f) {
    erase_last(f);
    return false;
}

// CR LF go after the last character wherever the cursor stands.
bool key_enter(TEXTREC& f) {
    WRITECHAR(13);
    WRITECHAR(10);
    f.buffer[f.end] = 13;
    f.buffer[f.end + 1] = 10;
    f.end += 2;
    return true;
}

// Moves to the end of the line, then erases it character by character.
bool key_clear(TEXTREC& f) {
    while (f.fill < f.end) step_right(f);
    while (f.end > 0) erase_last(f);
    return false;
}

// Ctrl+Z ends the entry only when end-of-file checking is on: the line then
// ends in byte 26, which stops the reads. It is never switched on, so the
// key is ignored.
bool key_ctrl_z(TEXTREC& f) {
    if (!CHECKEOF) return false;
    f.buffer[f.end++] = CTRL_Z;
    return true;
}

bool key_slash(TEXTREC& f) { return put_char(f, '/'); }

bool key_home(TEXTREC& f) {
    while (f.fill > 0) {
        --f.fill;
        WRITECHAR(8);
    }
    return false;
}

bool key_left(TEXTREC& f) {
    if (f.fill > 0) {
        --f.fill;
        WRITECHAR(8);
    }
    return false;
}

bool key_right(TEXTREC& f) {
    if (f.fill < f.end) step_right(f);
    return false;
}

bool key_end(TEXTREC& f) {
    while (f.fill < f.end) step_right(f);
    return false;
}

bool key_special(TEXTREC& f);

// Codes as READKEY first returns them (Backspace, Ctrl+S, Enter, Ctrl+Y,
// Esc, Ctrl+Z, the 0 of a special key); any other code is a character.
const KeyBinding FIRST_KEYS[] = {
    {8, key_erase}, {19, key_erase},  {13, key_enter},  {25, key_clear},
    {27, key_clear}, {26, key_ctrl_z}, {0, key_special},
};

// Codes of special keys, from the second READKEY (keypad Enter, keypad
// slash, Home, Left, Right, End); any other special key is ignored.
const KeyBinding SPECIAL_KEYS[] = {
    {28, key_enter}, {53, key_slash}, {71, key_home}, {75, key_left}, {77, key_right}, {79, key_end},
};

template <size_t N> const KeyBinding* find(const KeyBinding (&table)[N], uint8_t code) {
    for (const KeyBinding& b : table)
        if (b.code == code) return &b;
    return nullptr;
}

bool key_special(TEXTREC& f) {
    // A special key whose code is 0 leaves nothing waiting after its 0. A
    // second READKEY would then wait for the next key and swallow it as the
    // code; the key is ignored instead, as other special keys are.
    if (SCANCODE == 0) return false;
    const KeyBinding* b = find(SPECIAL_KEYS, READKEY());
    return b ? b->act(f) : false;
}

}  // namespace

uint16_t CRTREAD(TEXTREC& f) {
    // The echo shows through the display code page for the whole entry.
    unsigned saved_cp = plat::get_output_cp();
    plat::set_output_cp(plat::ansi_cp());
    GETSCREENCURSOR(CURRX, CURRY);
    f.fill = 0;
    f.end = 0;
    for (;;) {
        if (f.fill > f.end) f.end = f.fill;
        SETSCREENCURSOR(CURRX, CURRY);
        uint8_t code = READKEY();
        const KeyBinding* b = find(FIRST_KEYS, code);
        if (b ? b->act(f) : put_char(f, code)) break;
    }
    plat::set_output_cp(saved_cp);
    f.fill = 0;
    SETSCREENCURSOR(CURRX, CURRY);
    return 0;
}

uint16_t CRTRETURN(TEXTREC&) { return 0; }

bool CHECKREAD(TEXTREC& f) {
    if (INOUTRES != 0) return false;
    if (f.mode == MODE_INPUT) {
        if (waiting(f) == 0) transfer(f);
        return true;
    }
    INOUTRES = f.mode == MODE_OUTPUT ? 104 : 103;
    return false;
}

static bool line_end_byte(uint8_t b) { return b == 13 || b == 10 || (CTRLZMARKSEOF && b == CTRL_Z); }

void READ_PSTRING(TEXTREC& f, PSTRING& s, uint8_t capacity) {
    if (!CHECKREAD(f)) {
        s.len = 0;
        return;
    }
    uint32_t count = 0;
    for (;;) {
        if (waiting(f) == 0) {
            transfer(f);
            if (waiting(f) == 0) break;  // the device has nothing more
        }
        uint32_t room = capacity - count;
        uint32_t n = waiting(f) < room ? waiting(f) : room;
        const uint8_t* p = f.buffer + f.fill;
        uint32_t k = 0;
        while (k < n && !line_end_byte(p[k])) ++k;
        for (uint32_t i = 0; i < k; ++i) s.ch[count + i] = p[i];
        f.fill += k;
        count += k;
        // A capacity of 0 ends here too: nothing scanned, count = capacity.
        if (k < n || count == capacity) break;
    }
    s.len = static_cast<uint8_t>(count);
}

void READ_LINEEND(TEXTREC& f) {
    if (!CHECKREAD(f)) return;
    if (waiting(f) == 0) {
        flush(f);
        return;
    }
    auto at_ctrl_z = [&f] { return CTRLZMARKSEOF && f.buffer[f.fill] == CTRL_Z; };
    if (at_ctrl_z()) return;
    for (;;) {
        uint8_t taken = f.buffer[f.fill++];
        if (taken == 10) return;
        if (waiting(f) == 0) {
            transfer(f);
            if (waiting(f) == 0) {
                flush(f);
                return;
            }
        }
        if (at_ctrl_z()) return;
        if (taken == 13) {
            if (f.buffer[f.fill] == 10) ++f.fill;
            return;
        }
    }
}
