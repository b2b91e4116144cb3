// An in-memory console for tests: a screen of cells (character and
// attribute) that may be larger than its window, a cursor, output code
// pages, and a scripted queue of key events. It behaves as a console does:
// writes go to cells without moving the cursor and run on into the next row
// at the screen's edge, a refused cursor position leaves the cursor alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/console.h"

namespace memcon {

struct Cell {
    uint8_t ch;
    uint8_t attr;
};

struct Setup {
    int screen_w = 80, screen_h = 25;
    plat::Rect window{0, 0, 79, 24};
    uint8_t attr = 7;
    int cur_x = 0, cur_y = 0;
    unsigned output_cp = 437;
    unsigned ansi_cp = 852;
    uint8_t fill_ch = ' ', fill_attr = 7;  // what the cells hold at start
};

// Makes a fresh console and selects it as the backend in use.
void install(const Setup& s);
// A backend whose console cannot be queried: standard output is a plain
// stream, whose bytes are collected (stream()).
void install_stream();

const plat::ConsoleOps* ops();

Cell cell(int x, int y);  // counted from 0
std::string row(int y);   // the characters of a whole screen row
int cursor_x();
int cursor_y();
unsigned output_cp();
// Every output code page that was set, in order.
const std::vector<unsigned>& cp_log();
// Bytes handed to the plain stream.
const std::string& stream();
// How many cell-changing operations and cursor moves the device made.
int cell_ops();
int cursor_moves();
int sleeps();
bool session_open();

void push_event(const plat::KeyEvent& ev);
size_t queued_events();
// A key press followed by its release, as a console queues them.
void push_key(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t mods = 0);
void push_text(const std::string& bytes);

// A key as a console on a US layout reports it: virtual key, scan code,
// character and modifier flags.
struct NamedKey {
    uint16_t vk, scan;
    uint8_t ch;
    uint32_t mods;
};
// The key of a name: a single character ("a", "1", "/"), or one of Enter,
// KpEnter, Ctrl+Enter (character 10), Bksp, Tab, Esc, Space, Ctrl+S, Ctrl+Y,
// Ctrl+Z, KpSlash, KpStar, KpMinus, KpPlus, Home, End, Left, Right, Up, Down,
// PgUp, PgDn, Ins, Del, Kp0..Kp9 (Num Lock off), F1..F12, Shift, Ctrl, Alt,
// CapsLock, NumLock, ScrollLock; each may have prefixes Shift+, Ctrl+,
// RCtrl+, Alt+ (left) and RAlt+, which add their modifier flags. Aborts on
// an unknown name.
NamedKey named_key(const std::string& name);
// Pushes the press and release of each key of a script: a plain byte is
// the key of that character (with its US scan code, if it has one), {Name}
// a named key, and {Compose:N} an Alt + keypad composition of the decimal
// digits N (left Alt down, each digit pressed and released with Alt held,
// Alt released).
void push_script(const std::string& script);
// An event that joins the queue once the key wait has slept this many times
// since install().
void push_after_sleeps(int sleeps, const plat::KeyEvent& ev);

// The key wait sleeps while the queue is empty; a test that runs dry would
// hang, so after this many idle sleeps in a row the process aborts.
constexpr int IDLE_LIMIT = 20000;

}  // namespace memcon
