// Key decoding: terminal bytes to key events. The sequences a terminal sends
// for its special keys are tables below; a small state machine walks the
// bytes (plain byte, Esc prefix, CSI or SS3 sequence, UTF-8 character) and
// looks the finished sequence up. Sequences it does not know are dropped
// whole; the state is of fixed size however long a sequence runs.
#include "platform/posix/keydecode.h"

#include <cstddef>

#include "platform/posix/cp852.h"
#include "platform/uskeys.h"

namespace keydecode {
namespace {

using plat::KeyEvent;
using plat::ENHANCED;
using plat::LEFT_ALT;
using plat::LEFT_CTRL;
using plat::RIGHT_ALT;
using plat::SHIFT;

// ---------------------------------------------------------------- key data

// A key as a console reports it: virtual key, scan code (set 1), character
// byte, modifier flags of the key itself (ENHANCED for the extended block).
struct KeyDef {
    uint16_t vk;
    uint8_t scan;
    uint8_t ch;
    uint32_t mods;
};

// The keys that sequences stand for; KEYS below is in this order.
enum Key : uint8_t {
    K_UP, K_DOWN, K_RIGHT, K_LEFT, K_HOME, K_END, K_INS, K_DEL, K_PGUP, K_PGDN, K_CLEAR,
    K_F1, K_F2, K_F3, K_F4, K_F5, K_F6, K_F7, K_F8, K_F9, K_F10, K_F11, K_F12,
    K_BACKTAB, K_KP_ENTER, K_KP_STAR, K_KP_PLUS, K_KP_COMMA, K_KP_MINUS, K_KP_DOT, K_KP_SLASH,
    K_KP_EQUAL, K_KP0, K_KP1, K_KP2, K_KP3, K_KP4, K_KP5, K_KP6, K_KP7, K_KP8, K_KP9,
    K_COUNT
};

const KeyDef KEYS[] = {
    {38, 72, 0, ENHANCED},       // Up
    {40, 80, 0, ENHANCED},       // Down
    {39, 77, 0, ENHANCED},       // Right
    {37, 75, 0, ENHANCED},       // Left
    {36, 71, 0, ENHANCED},       // Home
    {35, 79, 0, ENHANCED},       // End
    {45, 82, 0, ENHANCED},       // Ins
    {46, 83, 0, ENHANCED},       // Del
    {33, 73, 0, ENHANCED},       // PgUp
    {34, 81, 0, ENHANCED},       // PgDn
    {12, 76, 0, 0},              // keypad 5 with Num Lock off
    {0x70, 59, 0, 0}, {0x71, 60, 0, 0}, {0x72, 61, 0, 0}, {0x73, 62, 0, 0},  // F1-F4
    {0x74, 63, 0, 0}, {0x75, 64, 0, 0}, {0x76, 65, 0, 0}, {0x77, 66, 0, 0},  // F5-F8
    {0x78, 67, 0, 0}, {0x79, 68, 0, 0}, {0x7A, 87, 0, 0}, {0x7B, 88, 0, 0},  // F9-F12
    {9, 15, 9, SHIFT},           // Shift+Tab
    {13, 28, 13, ENHANCED},      // keypad Enter
    {0x6A, 55, '*', 0},          // keypad *
    {0x6B, 78, '+', 0},          // keypad +
    {0x6C, 83, ',', 0},          // keypad separator
    {0x6D, 74, '-', 0},          // keypad -
    {0x6E, 83, '.', 0},          // keypad .
    {0x6F, 53, '/', ENHANCED},   // keypad /
    {0xBB, 13, '=', 0},          // keypad =
    {0x60, 82, '0', 0}, {0x61, 79, '1', 0}, {0x62, 80, '2', 0}, {0x63, 81, '3', 0},  // keypad
    {0x64, 75, '4', 0}, {0x65, 76, '5', 0}, {0x66, 77, '6', 0}, {0x67, 71, '7', 0},  // digits,
    {0x68, 72, '8', 0}, {0x69, 73, '9', 0},                                          // Num Lock on
};
static_assert(sizeof KEYS / sizeof KEYS[0] == K_COUNT, "KEYS follows enum Key");

// Sequences that end in a letter after CSI (ESC [) or SS3 (ESC O). CSI may
// carry a modifier parameter (ESC [ 1 ; 5 H), SS3 an old-style one (ESC O 2 P).
//   xterm, VTE, kitty, tmux, screen: cursor keys CSI or SS3 A-D, Home/End
//     CSI or SS3 H/F, F1-F4 SS3 P-S and CSI 1;m P-S, Shift+Tab CSI Z;
//   Linux console: cursor keys CSI A-D, keypad 5 CSI G;
//   rxvt: Shift+arrows CSI a-d, Ctrl+arrows SS3 a-d;
//   any of them in keypad application mode: SS3 M (Enter), j-y, X.
struct LetterSeq {
    char intro;  // '[' for CSI, 'O' for SS3
    char final;
    Key key;
    uint32_t mods;
};
const LetterSeq LETTER_SEQS[] = {
    {'[', 'A', K_UP, 0},      {'[', 'B', K_DOWN, 0},     {'[', 'C', K_RIGHT, 0},
    {'[', 'D', K_LEFT, 0},    {'[', 'H', K_HOME, 0},     {'[', 'F', K_END, 0},
    {'[', 'E', K_CLEAR, 0},   {'[', 'G', K_CLEAR, 0},    {'[', 'Z', K_BACKTAB, 0},
    {'[', 'P', K_F1, 0},      {'[', 'Q', K_F2, 0},       {'[', 'R', K_F3, 0},
    {'[', 'S', K_F4, 0},
    {'[', 'a', K_UP, SHIFT},  {'[', 'b', K_DOWN, SHIFT}, {'[', 'c', K_RIGHT, SHIFT},
    {'[', 'd', K_LEFT, SHIFT},
    {'O', 'A', K_UP, 0},      {'O', 'B', K_DOWN, 0},     {'O', 'C', K_RIGHT, 0},
    {'O', 'D', K_LEFT, 0},    {'O', 'H', K_HOME, 0},     {'O', 'F', K_END, 0},
    {'O', 'E', K_CLEAR, 0},   {'O', 'P', K_F1, 0},       {'O', 'Q', K_F2, 0},
    {'O', 'R', K_F3, 0},      {'O', 'S', K_F4, 0},
    {'O', 'a', K_UP, LEFT_CTRL},    {'O', 'b', K_DOWN, LEFT_CTRL},
    {'O', 'c', K_RIGHT, LEFT_CTRL}, {'O', 'd', K_LEFT, LEFT_CTRL},
    {'O', 'M', K_KP_ENTER, 0}, {'O', 'j', K_KP_STAR, 0}, {'O', 'k', K_KP_PLUS, 0},
    {'O', 'l', K_KP_COMMA, 0}, {'O', 'm', K_KP_MINUS, 0}, {'O', 'n', K_KP_DOT, 0},
    {'O', 'o', K_KP_SLASH, 0}, {'O', 'X', K_KP_EQUAL, 0},
    {'O', 'p', K_KP0, 0}, {'O', 'q', K_KP1, 0}, {'O', 'r', K_KP2, 0}, {'O', 's', K_KP3, 0},
    {'O', 't', K_KP4, 0}, {'O', 'u', K_KP5, 0}, {'O', 'v', K_KP6, 0}, {'O', 'w', K_KP7, 0},
    {'O', 'x', K_KP8, 0}, {'O', 'y', K_KP9, 0},
};

// CSI n ~, by n (VT220, xterm, Linux console, tmux, screen, rxvt). Home and
// End are 1 and 4 (VT220 Find/Select, Linux console, tmux) or 7 and 8 (rxvt).
// F1-F5 as 11-15 are rxvt's (and xterm's VT220 mode). 25-34 are F13-F20,
// which rxvt and the Linux console send for Shift+F3 to Shift+F10 (their
// Shift+F1 and Shift+F2 are F11 and F12).
struct TildeSeq {
    uint8_t n;
    Key key;
    uint32_t mods;
};
const TildeSeq TILDE_SEQS[] = {
    {1, K_HOME, 0},  {2, K_INS, 0},   {3, K_DEL, 0},   {4, K_END, 0},   {5, K_PGUP, 0},
    {6, K_PGDN, 0},  {7, K_HOME, 0},  {8, K_END, 0},
    {11, K_F1, 0},   {12, K_F2, 0},   {13, K_F3, 0},   {14, K_F4, 0},   {15, K_F5, 0},
    {17, K_F6, 0},   {18, K_F7, 0},   {19, K_F8, 0},   {20, K_F9, 0},   {21, K_F10, 0},
    {23, K_F11, 0},  {24, K_F12, 0},
    {25, K_F3, SHIFT}, {26, K_F4, SHIFT}, {28, K_F5, SHIFT}, {29, K_F6, SHIFT},
    {31, K_F7, SHIFT}, {32, K_F8, SHIFT}, {33, K_F9, SHIFT}, {34, K_F10, SHIFT},
};

// The last byte of a CSI n ~ sequence: rxvt marks the modifiers there
// (ESC [ 2 $ is Shift+Ins, ESC [ 11 ^ Ctrl+F1).
struct TildeFinal {
    char final;
    uint32_t mods;
};
const TildeFinal TILDE_FINALS[] = {
    {'~', 0}, {'$', SHIFT}, {'^', LEFT_CTRL}, {'@', LEFT_CTRL | SHIFT},
};

// The Linux console's F1-F5: ESC [ [ A to ESC [ [ E.
struct LinuxSeq {
    char final;
    Key key;
};
const LinuxSeq LINUX_SEQS[] = {
    {'A', K_F1}, {'B', K_F2}, {'C', K_F3}, {'D', K_F4}, {'E', K_F5},
};

// The modifier parameter of xterm-style sequences: the value less 1 is a set
// of bits. Meta is taken as Alt.
struct ModBit {
    uint16_t bit;
    uint32_t mods;
};
const ModBit MOD_BITS[] = {{1, SHIFT}, {2, LEFT_ALT}, {4, LEFT_CTRL}, {8, LEFT_ALT}};

// Control bytes that are keys of their own. The other bytes 1-26 are Ctrl
// with a letter.
struct ByteKey {
    uint8_t byte;
    KeyDef key;
};
const ByteKey CONTROL_KEYS[] = {
    {0, {0x20, 57, 0, LEFT_CTRL}},            // Ctrl+Space
    {8, {8, 14, 8, 0}},                       // Backspace, on terminals whose erase key sends 8
    {9, {9, 15, 9, 0}},                       // Tab
    {13, {13, 28, 13, 0}},                    // Enter
    {27, {27, 1, 27, 0}},                     // Esc
    {28, {0xDC, 43, 28, LEFT_CTRL}},          // Ctrl+backslash
    {29, {0xDD, 27, 29, LEFT_CTRL}},          // Ctrl+]
    {30, {'6', 7, 30, LEFT_CTRL | SHIFT}},    // Ctrl+^
    {31, {0xBD, 12, 31, LEFT_CTRL | SHIFT}},  // Ctrl+_
    {127, {8, 14, 8, 0}},                     // Backspace, on terminals whose erase key sends 127
};

// UTF-8 lead bytes: how many continuation bytes follow, the bits the lead
// carries, and the smallest code point of that length (a smaller one is an
// overlong form). 0xC0, 0xC1 and 0xF5-0xFF never start a character.
struct Lead {
    uint8_t lo, hi, need, mask;
    char32_t min;
};
const Lead LEADS[] = {
    {0xC2, 0xDF, 1, 0x1F, 0x80}, {0xE0, 0xEF, 2, 0x0F, 0x800}, {0xF0, 0xF4, 3, 0x07, 0x10000},
};

// ------------------------------------------------------------- key events

void emit(Out* out, const KeyDef& k, uint32_t mods) {
    if (out->n >= MAX_OUT) return;  // never reached: no call produces more
    KeyEvent& e = out->ev[out->n++];
    e.kind = plat::KEY_EVENT_KIND;
    e.down = true;
    e.repeat = 1;
    e.vk = k.vk;
    e.scan = k.scan;
    e.ch = k.ch;
    e.mods = k.mods | mods;
}

// The key of a printable ASCII character on a US keyboard.
KeyDef printable_key(uint8_t c) {
    plat::UsKey k;
    if (!plat::us_key(c, &k)) return {0, 0, c, 0};
    return {k.vk, static_cast<uint8_t>(k.scan), c, k.shift ? SHIFT : 0u};
}

// The key of one ASCII byte (0-127) as a terminal sends it.
KeyDef ascii_key(uint8_t b) {
    for (const ByteKey& k : CONTROL_KEYS)
        if (k.byte == b) return k.key;
    if (b >= 1 && b <= 26) {
        KeyDef k = printable_key(static_cast<uint8_t>('a' + b - 1));
        return {k.vk, k.scan, b, LEFT_CTRL};
    }
    return printable_key(b);
}

// A character outside ASCII: its code-page-852 byte, or '?' without one.
KeyDef char_key(char32_t cp) {
    int b = unicode_to_cp852(cp);
    return {0, 0, static_cast<uint8_t>(b < 0 ? '?' : b), 0};
}

// ------------------------------------------------------------------ UTF-8

// Starts a character with its lead byte; false when b cannot lead one.
bool u8_start(Utf8* u, uint8_t b) {
    for (const Lead& l : LEADS) {
        if (b < l.lo || b > l.hi) continue;
        u->need = l.need;
        u->len = static_cast<uint8_t>(l.need + 1);
        u->cp = b & l.mask;
        return true;
    }
    return false;
}

bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Adds a continuation byte; true when the character is complete.
bool u8_add(Utf8* u, uint8_t b) {
    u->cp = (u->cp << 6) | (b & 0x3F);
    return --u->need == 0;
}

// The finished character, '?' for an overlong form, a surrogate or a code
// point beyond Unicode.
char32_t u8_value(const Utf8* u) {
    char32_t min = 0;
    for (const Lead& l : LEADS)
        if (l.need + 1 == u->len) min = l.min;
    if (u->cp < min || u->cp > 0x10FFFF || (u->cp >= 0xD800 && u->cp <= 0xDFFF)) return '?';
    return u->cp;
}

// ------------------------------------------------------- terminal decoder

enum State : uint8_t {
    GROUND,  // between keys
    ESC,     // after one or two Esc bytes
    CSI,     // after ESC [
    SS3,     // after ESC O
    LINUX,   // after ESC [ [
    UTF8,    // inside a UTF-8 character
};

// Longest CSI or SS3 sequence taken seriously; longer ones are dropped.
constexpr uint8_t MAX_SEQ = 32;
constexpr uint16_t MAX_PARAM = 9999;

uint32_t alt_mods(const Terminal* t) { return t->alt ? LEFT_ALT : 0u; }

// Modifier parameters go up to 16 (Shift, Alt, Ctrl and Meta together).
constexpr uint16_t MAX_MODIFIER = 16;

// The modifier flags of an xterm modifier parameter (0 or 1: none).
uint32_t param_mods(uint16_t m) {
    uint32_t mods = 0;
    if (m < 2) return 0;
    for (const ModBit& mb : MOD_BITS)
        if ((m - 1) & mb.bit) mods |= mb.mods;
    return mods;
}

void to_ground(Terminal* t) {
    t->state = GROUND;
    t->escs = 0;
    t->alt = false;
    t->bad = false;
}

void start_seq(Terminal* t, State s) {
    t->alt = t->escs == 2;  // ESC ESC [ A: Alt with the key of ESC [ A
    t->state = s;
    t->bad = false;
    t->seq_len = 0;
    t->nparams = 1;
    for (uint16_t& p : t->params) p = 0;
}

// A finished CSI sequence with final byte f.
void csi_done(Terminal* t, uint8_t f, Out* out) {
    uint32_t mods = alt_mods(t);
    for (const TildeFinal& tf : TILDE_FINALS) {
        if (tf.final != f) continue;
        if (t->nparams > 2 || t->params[1] > MAX_MODIFIER) return;
        for (const TildeSeq& s : TILDE_SEQS)
            if (s.n == t->params[0])
                emit(out, KEYS[s.key], s.mods | tf.mods | param_mods(t->params[1]) | mods);
        return;
    }
    // A letter: no parameter, "1;m", or the modifier alone.
    if (t->nparams > 2 || (t->nparams == 2 && t->params[0] > 1)) return;
    uint16_t m = t->nparams == 2 ? t->params[1] : t->params[0];
    if (m > MAX_MODIFIER) return;
    for (const LetterSeq& s : LETTER_SEQS)
        if (s.intro == '[' && s.final == f) emit(out, KEYS[s.key], s.mods | param_mods(m) | mods);
}

void ss3_done(Terminal* t, uint8_t f, Out* out) {
    if (t->nparams > 2) return;
    uint16_t m = t->params[t->nparams - 1];
    if (m > MAX_MODIFIER || (t->nparams == 2 && t->params[0] > 1)) return;
    for (const LetterSeq& s : LETTER_SEQS)
        if (s.intro == 'O' && s.final == f) emit(out, KEYS[s.key], s.mods | param_mods(m) | alt_mods(t));
}

// What a cut-off prefix amounts to, when time runs out or a byte that cannot
// continue it arrives: Esc alone is the Esc key; ESC [ and ESC O with
// nothing after them are Alt+[ and Alt+O; an unfinished UTF-8 character is
// '?'; a sequence cut off inside is dropped.
void resolve(Terminal* t, Out* out) {
    switch (t->state) {
    case ESC:
        for (int i = 0; i < t->escs; ++i) emit(out, ascii_key(27), 0);
        break;
    case CSI:
    case SS3:
        if (t->seq_len == 0 && !t->bad) {
            if (t->alt) emit(out, ascii_key(27), 0);
            emit(out, ascii_key(t->state == CSI ? '[' : 'O'), LEFT_ALT);
        }
        break;
    case UTF8:
        emit(out, char_key('?'), t->alt ? RIGHT_ALT : 0u);
        break;
    default:
        break;
    }
    to_ground(t);
}

// A byte between keys, or after an Esc prefix (t->alt set).
void ground_byte(Terminal* t, uint8_t b, Out* out) {
    if (b == 27) {
        t->state = ESC;
        t->escs = 1;
        return;
    }
    if (b >= 0x80) {
        if (u8_start(&t->u8, b)) {
            t->state = UTF8;
            return;
        }
        emit(out, char_key('?'), t->alt ? RIGHT_ALT : 0u);
        to_ground(t);
        return;
    }
    emit(out, ascii_key(b), alt_mods(t));
    to_ground(t);
}

void esc_byte(Terminal* t, uint8_t b, Out* out) {
    if (b == '[') return start_seq(t, CSI);
    if (b == 'O') return start_seq(t, SS3);
    if (b == 27) {
        // A third Esc: the first one was a key of its own.
        if (t->escs == 2) emit(out, ascii_key(27), 0);
        t->escs = 2;
        return;
    }
    // Esc + key is Alt + key; after two Esc bytes the first was the Esc key.
    if (t->escs == 2) emit(out, ascii_key(27), 0);
    t->state = GROUND;
    t->alt = true;
    ground_byte(t, b, out);
}

// A byte inside CSI or SS3.
void seq_byte(Terminal* t, uint8_t b, Out* out) {
    if (t->state == CSI && t->seq_len == 0 && b == '[') {
        t->state = LINUX;
        return;
    }
    if (b >= 0x30 && b <= 0x3F) {  // parameter bytes
        if (t->seq_len < MAX_SEQ) ++t->seq_len;
        else t->bad = true;
        if (b >= '0' && b <= '9') {
            uint16_t& p = t->params[t->nparams - 1];
            p = static_cast<uint16_t>(p * 10 + (b - '0'));
            if (p > MAX_PARAM) {
                p = MAX_PARAM;
                t->bad = true;  // no key has a number that large
            }
        } else if (b == ';' && t->nparams < 4) {
            ++t->nparams;
        } else {
            t->bad = true;  // private markers, sub-parameters, too many parameters
        }
        return;
    }
    // rxvt ends some sequences with '$', elsewhere an intermediate byte.
    bool rxvt_final = t->state == CSI && b == '$' && !t->bad;
    if (b >= 0x20 && b <= 0x2F && !rxvt_final) {  // intermediate bytes: none of our keys
        t->seq_len = MAX_SEQ;
        t->bad = true;
        return;
    }
    if ((b >= 0x40 && b <= 0x7E) || rxvt_final) {
        if (!t->bad) (t->state == CSI ? csi_done : ss3_done)(t, b, out);
        to_ground(t);
        return;
    }
    // A control byte, DEL or a non-ASCII byte cannot continue a sequence:
    // the sequence is cut off and the byte is a key of its own.
    resolve(t, out);
    ground_byte(t, b, out);
}

void linux_byte(Terminal* t, uint8_t b, Out* out) {
    if (b >= 0x40 && b <= 0x7E) {
        for (const LinuxSeq& s : LINUX_SEQS)
            if (s.final == b) emit(out, KEYS[s.key], alt_mods(t));
        to_ground(t);
    } else if (b >= 0x20 && b < 0x40) {
        t->state = CSI;  // none of ours: dropped when its final byte comes
        t->seq_len = 1;
        t->bad = true;
    } else {
        resolve(t, out);
        ground_byte(t, b, out);
    }
}

void utf8_byte(Terminal* t, uint8_t b, Out* out) {
    if (!is_continuation(b)) {
        resolve(t, out);
        ground_byte(t, b, out);
        return;
    }
    if (!u8_add(&t->u8, b)) return;
    emit(out, char_key(u8_value(&t->u8)), t->alt ? RIGHT_ALT : 0u);
    to_ground(t);
}

}  // namespace

// ------------------------------------------------------------- interface

void reset(Terminal* t) { *t = Terminal{}; }

bool pending(const Terminal* t) { return t->state != GROUND; }

void tick(Terminal* t, uint64_t now_ms, Out* out) {
    if (pending(t) && now_ms - t->last_ms >= ESC_TIMEOUT_MS) resolve(t, out);
}

void flush(Terminal* t, Out* out) {
    if (pending(t)) resolve(t, out);
}

void feed(Terminal* t, uint8_t b, uint64_t now_ms, Out* out) {
    tick(t, now_ms, out);
    switch (t->state) {
    case GROUND: ground_byte(t, b, out); break;
    case ESC: esc_byte(t, b, out); break;
    case CSI:
    case SS3: seq_byte(t, b, out); break;
    case LINUX: linux_byte(t, b, out); break;
    case UTF8: utf8_byte(t, b, out); break;
    default: to_ground(t); break;
    }
    if (pending(t)) t->last_ms = now_ms;
}

void reset(Stream* s) { *s = Stream{}; }

void feed(Stream* s, uint8_t b, Out* out) {
    bool lf_of_crlf = s->after_cr && b == 10;
    s->after_cr = b == 13;
    if (lf_of_crlf) return;
    if (s->u8.need) {
        if (is_continuation(b)) {
            if (u8_add(&s->u8, b)) emit(out, char_key(u8_value(&s->u8)), 0);
            return;
        }
        s->u8.need = 0;
        emit(out, char_key('?'), 0);
    }
    if (b == 13 || b == 10 || b == 26) {
        emit(out, ascii_key(13), 0);
    } else if (b >= 0x80) {
        if (!u8_start(&s->u8, b)) emit(out, char_key('?'), 0);
    } else if (b == 127) {
        emit(out, {8, 14, 127, LEFT_CTRL}, 0);  // the character DEL: Ctrl+Backspace
    } else {
        emit(out, ascii_key(b), 0);
    }
}

void flush(Stream* s, Out* out) {
    if (s->u8.need) emit(out, char_key('?'), 0);
    s->u8.need = 0;
    s->after_cr = false;
}

plat::KeyEvent enter_key() {
    Out o{};
    emit(&o, ascii_key(13), 0);
    return o.ev[0];
}

}  // namespace keydecode
