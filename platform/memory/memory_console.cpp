// The in-memory console backend.
#include "platform/memory/memory_console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <utility>

#include "platform/uskeys.h"

namespace memcon {
namespace {

struct State {
    Setup s;
    std::vector<Cell> cells;
    int cx = 0, cy = 0;
    unsigned cp = 437;
    std::vector<unsigned> cps;
    std::deque<plat::KeyEvent> queue;
    std::deque<std::pair<int, plat::KeyEvent>> later;  // events due after so many sleeps
    bool stream_mode = false;
    std::string stream;
    int cell_ops = 0, cursor_moves = 0, sleeps = 0, idle = 0;
    bool open = false;
};
State st;

bool on_screen(int x, int y) { return x >= 0 && y >= 0 && x < st.s.screen_w && y < st.s.screen_h; }
Cell& at(int x, int y) { return st.cells[static_cast<size_t>(y * st.s.screen_w + x)]; }

void begin() { st.open = true; }
void end() { st.open = false; }

bool info(plat::ScreenInfo* out) {
    if (st.stream_mode) return false;
    *out = {st.s.screen_w, st.s.screen_h, st.cx,           st.cy,           st.s.attr,
            st.s.window.left, st.s.window.top, st.s.window.right, st.s.window.bottom};
    return true;
}

bool set_cursor(int x, int y) {
    ++st.cursor_moves;
    if (!on_screen(x, y)) return false;
    st.cx = x;
    st.cy = y;
    return true;
}

// Visits n cells from (x, y) on, running on into the next row at the
// screen's right edge and stopping at its end.
template <class F> void run(int x, int y, int n, F f) {
    if (!on_screen(x, y)) return;
    ++st.cell_ops;
    for (int i = 0; i < n; ++i) {
        f(at(x, y), i);
        if (++x == st.s.screen_w) {
            x = 0;
            if (++y == st.s.screen_h) return;
        }
    }
}

void write_chars(int x, int y, const uint8_t* c, int n) {
    run(x, y, n, [c](Cell& cell, int i) { cell.ch = c[i]; });
}
void fill_chars(int x, int y, uint8_t ch, int n) {
    run(x, y, n, [ch](Cell& cell, int) { cell.ch = ch; });
}
void fill_attrs(int x, int y, uint8_t a, int n) {
    run(x, y, n, [a](Cell& cell, int) { cell.attr = a; });
}

bool in(const plat::Rect& r, int x, int y) { return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom; }

void scroll(plat::Rect src, plat::Rect clip, int dx, int dy, uint8_t ch, uint8_t a) {
    ++st.cell_ops;
    std::vector<Cell> old = st.cells;
    auto old_at = [&old](int x, int y) { return old[static_cast<size_t>(y * st.s.screen_w + x)]; };
    plat::Rect dest{dx, dy, dx + src.right - src.left, dy + src.bottom - src.top};
    // The source's cells that the move leaves behind become the fill.
    for (int y = src.top; y <= src.bottom; ++y)
        for (int x = src.left; x <= src.right; ++x)
            if (on_screen(x, y) && in(clip, x, y) && !in(dest, x, y)) at(x, y) = {ch, a};
    for (int y = src.top; y <= src.bottom; ++y)
        for (int x = src.left; x <= src.right; ++x) {
            int tx = dx + x - src.left, ty = dy + y - src.top;
            if (on_screen(x, y) && on_screen(tx, ty) && in(clip, tx, ty)) at(tx, ty) = old_at(x, y);
        }
}

unsigned get_output_cp() { return st.cp; }
bool set_output_cp(unsigned cp) {
    st.cp = cp;
    st.cps.push_back(cp);
    return true;
}
unsigned ansi_cp() { return st.s.ansi_cp; }

bool is_stream() { return st.stream_mode; }
void stream_write(const uint8_t* b, size_t n) { st.stream.append(reinterpret_cast<const char*>(b), n); }

bool count_events(uint32_t* n) {
    *n = static_cast<uint32_t>(st.queue.size());
    return true;
}
bool read_event(plat::KeyEvent* ev) {
    if (st.queue.empty()) return false;
    *ev = st.queue.front();
    st.queue.pop_front();
    st.idle = 0;
    return true;
}
void sleep_1ms() {
    ++st.sleeps;
    for (auto it = st.later.begin(); it != st.later.end();) {
        if (it->first <= st.sleeps) {
            st.queue.push_back(it->second);
            it = st.later.erase(it);
        } else {
            ++it;
        }
    }
    if (st.queue.empty() && st.later.empty() && ++st.idle > IDLE_LIMIT) {
        std::fputs("memory console: waiting for a key with an empty queue\n", stderr);
        std::abort();
    }
}

const plat::ConsoleOps table = {begin,       end,          info,          set_cursor, write_chars,
                                fill_chars,  fill_attrs,   scroll,        get_output_cp,
                                set_output_cp, ansi_cp,    is_stream,     stream_write,
                                count_events, read_event,  sleep_1ms};

}  // namespace

void install(const Setup& s) {
    st = State{};
    st.s = s;
    st.cells.assign(static_cast<size_t>(s.screen_w * s.screen_h), Cell{s.fill_ch, s.fill_attr});
    st.cx = s.cur_x;
    st.cy = s.cur_y;
    st.cp = s.output_cp;
    plat::use_console(&table);
}

void install_stream() {
    install(Setup{});
    st.stream_mode = true;
}

const plat::ConsoleOps* ops() { return &table; }
Cell cell(int x, int y) { return at(x, y); }
std::string row(int y) {
    std::string r;
    for (int x = 0; x < st.s.screen_w; ++x) r += static_cast<char>(at(x, y).ch);
    return r;
}
int cursor_x() { return st.cx; }
int cursor_y() { return st.cy; }
unsigned output_cp() { return st.cp; }
const std::vector<unsigned>& cp_log() { return st.cps; }
const std::string& stream() { return st.stream; }
int cell_ops() { return st.cell_ops; }
int cursor_moves() { return st.cursor_moves; }
int sleeps() { return st.sleeps; }
bool session_open() { return st.open; }

void push_event(const plat::KeyEvent& ev) { st.queue.push_back(ev); }
size_t queued_events() { return st.queue.size(); }
void push_key(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t mods) {
    push_event({plat::KEY_EVENT_KIND, true, 1, vk, scan, ch, mods});
    push_event({plat::KEY_EVENT_KIND, false, 1, vk, scan, ch, mods});
}
void push_text(const std::string& bytes) {
    for (unsigned char c : bytes) push_key(0, 0, c);
}

}  // namespace memcon

namespace memcon {
namespace {

using plat::ENHANCED;
using plat::LEFT_ALT;
using plat::LEFT_CTRL;
using plat::RIGHT_ALT;
using plat::RIGHT_CTRL;
using plat::SHIFT;

// Named keys: virtual key, scan code (set 1, US layout), character, flags.
// The keypad digits are those of Num Lock off, the keys' cursor labels.
struct Named {
    const char* name;
    NamedKey key;
};
const Named NAMED_KEYS[] = {
    {"Enter", {13, 28, 13, 0}},        {"KpEnter", {13, 28, 13, ENHANCED}},
    {"Ctrl+Enter", {13, 28, 10, LEFT_CTRL}},
    {"Bksp", {8, 14, 8, 0}},           {"Tab", {9, 15, 9, 0}},
    {"Esc", {27, 1, 27, 0}},           {"Space", {32, 57, 32, 0}},
    {"Ctrl+S", {83, 31, 19, LEFT_CTRL}}, {"Ctrl+Y", {89, 21, 25, LEFT_CTRL}},
    {"Ctrl+Z", {90, 44, 26, LEFT_CTRL}},
    {"KpSlash", {111, 53, '/', ENHANCED}}, {"KpStar", {106, 55, '*', 0}},
    {"KpMinus", {109, 74, '-', 0}},    {"KpPlus", {107, 78, '+', 0}},
    {"Home", {36, 71, 0, ENHANCED}},   {"Up", {38, 72, 0, ENHANCED}},
    {"PgUp", {33, 73, 0, ENHANCED}},   {"Left", {37, 75, 0, ENHANCED}},
    {"Right", {39, 77, 0, ENHANCED}},  {"End", {35, 79, 0, ENHANCED}},
    {"Down", {40, 80, 0, ENHANCED}},   {"PgDn", {34, 81, 0, ENHANCED}},
    {"Ins", {45, 82, 0, ENHANCED}},    {"Del", {46, 83, 0, ENHANCED}},
    {"Kp7", {36, 71, 0, 0}},           {"Kp8", {38, 72, 0, 0}},
    {"Kp9", {33, 73, 0, 0}},           {"Kp4", {37, 75, 0, 0}},
    {"Kp5", {12, 76, 0, 0}},           {"Kp6", {39, 77, 0, 0}},
    {"Kp1", {35, 79, 0, 0}},           {"Kp2", {40, 80, 0, 0}},
    {"Kp3", {34, 81, 0, 0}},           {"Kp0", {45, 82, 0, 0}},
    {"F1", {112, 59, 0, 0}},           {"F2", {113, 60, 0, 0}},
    {"F3", {114, 61, 0, 0}},           {"F4", {115, 62, 0, 0}},
    {"F5", {116, 63, 0, 0}},           {"F6", {117, 64, 0, 0}},
    {"F7", {118, 65, 0, 0}},           {"F8", {119, 66, 0, 0}},
    {"F9", {120, 67, 0, 0}},           {"F10", {121, 68, 0, 0}},
    {"F11", {122, 87, 0, 0}},          {"F12", {123, 88, 0, 0}},
    {"Shift", {16, 42, 0, SHIFT}},     {"Ctrl", {17, 29, 0, LEFT_CTRL}},
    {"Alt", {18, 56, 0, LEFT_ALT}},    {"CapsLock", {20, 58, 0, 0}},
    {"NumLock", {144, 69, 0, ENHANCED}}, {"ScrollLock", {145, 70, 0, 0}},
};

// Prefixes that add modifier flags to a named key.
struct Prefix {
    const char* text;
    uint32_t mods;
};
const Prefix PREFIXES[] = {
    {"Shift+", SHIFT}, {"Ctrl+", LEFT_CTRL}, {"RCtrl+", RIGHT_CTRL}, {"Alt+", LEFT_ALT}, {"RAlt+", RIGHT_ALT},
};

// A character key as a US keyboard types it; Shift is not reported.
NamedKey char_key(uint8_t c) {
    plat::UsKey k;
    if (!plat::us_key(c, &k)) return {0, 0, c, 0};
    return {k.vk, k.scan, c, 0};
}

void push_press_release(const NamedKey& k) { push_key(k.vk, k.scan, k.ch, k.mods); }

void push_compose(const std::string& digits) {
    static const char* const KP[] = {"Kp0", "Kp1", "Kp2", "Kp3", "Kp4", "Kp5", "Kp6", "Kp7", "Kp8", "Kp9"};
    push_event({plat::KEY_EVENT_KIND, true, 1, 18, 56, 0, LEFT_ALT});
    for (char d : digits) {
        if (d < '0' || d > '9') {
            std::fprintf(stderr, "memory console: bad composition '%s'\n", digits.c_str());
            std::abort();
        }
        NamedKey k = named_key(KP[d - '0']);
        push_key(k.vk, k.scan, k.ch, k.mods | LEFT_ALT);
    }
    push_event({plat::KEY_EVENT_KIND, false, 1, 18, 56, 0, 0});
}

}  // namespace

NamedKey named_key(const std::string& name) {
    for (const Named& n : NAMED_KEYS)
        if (name == n.name) return n.key;
    for (const Prefix& p : PREFIXES) {
        size_t len = std::strlen(p.text);
        if (name.size() > len && name.compare(0, len, p.text) == 0) {
            NamedKey k = named_key(name.substr(len));
            k.mods |= p.mods;
            return k;
        }
    }
    if (name.size() == 1) return char_key(static_cast<uint8_t>(name[0]));
    std::fprintf(stderr, "memory console: unknown key name '%s'\n", name.c_str());
    std::abort();
}

void push_script(const std::string& script) {
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] != '{') {
            push_press_release(char_key(static_cast<uint8_t>(script[i])));
            continue;
        }
        size_t close = script.find('}', i + 1);
        if (close == std::string::npos) {
            std::fprintf(stderr, "memory console: unclosed key name in script\n");
            std::abort();
        }
        std::string name = script.substr(i + 1, close - i - 1);
        if (name.compare(0, 8, "Compose:") == 0)
            push_compose(name.substr(8));
        else
            push_press_release(named_key(name));
        i = close;
    }
}

void push_after_sleeps(int sleeps, const plat::KeyEvent& ev) { st.later.emplace_back(sleeps, ev); }

}  // namespace memcon
