// The in-memory console backend.
#include "platform/memory/memory_console.h"

#include <cstdio>
#include <cstdlib>
#include <deque>

namespace memcon {
namespace {

struct State {
    Setup s;
    std::vector<Cell> cells;
    int cx = 0, cy = 0;
    unsigned cp = 437;
    std::vector<unsigned> cps;
    std::deque<plat::KeyEvent> queue;
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
    if (st.queue.empty() && ++st.idle > IDLE_LIMIT) {
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
