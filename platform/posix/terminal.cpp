// The terminal backend. Its state is the console's own cursor (what info
// reports and set_cursor sets), the terminal's real cursor (known or not,
// and whether it stands in the pending-wrap state after a cell in the last
// column), a copy of the characters on the screen, and the bytes gathered
// for the next write(). Cells are drawn through the code page 852 table, so
// every byte is one visible character; attributes are not sent (the
// terminal's own colours stay). The only sequences used are CUP, CHA, CUF,
// CUB, EL and ED, plus CR, LF and BS for short moves, all of which xterm,
// VTE, tmux, screen and the Linux console know.
#include "platform/posix/terminal.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix/cp852.h"
#include "platform/posix/input.h"

namespace posix_term {
namespace {

// The largest screen kept; a bigger terminal is used in this part of it.
constexpr int MAX_W = 512, MAX_H = 256;
// Gather buffer: far more than a flush of 256 bytes can need (each byte at
// most 3 bytes of UTF-8 and one cursor positioning).
constexpr size_t OUT_CAP = 16384;
// A screen copy cell that the backend has not drawn and cannot know.
constexpr uint16_t UNKNOWN = 0x100;

struct State {
    bool open;
    int fd;
    int w, h;
    int lx, ly;          // the console's cursor
    bool known;          // the terminal's cursor is at (tx, ty)
    bool pending;        // ... and a cell was just put into the last column
    int tx, ty;
    int clear_top, clear_bottom;  // whole blank rows not yet sent; -1: none
    unsigned output_cp;
    size_t len;
    long writes, bytes;
    char out[OUT_CAP];
};
State st;
uint16_t shadow[MAX_W * MAX_H];   // the characters on the screen
uint16_t scratch[MAX_W * MAX_H];  // the screen as a general scroll leaves it

uint16_t& cell(int x, int y) { return shadow[y * st.w + x]; }
bool on_screen(int x, int y) { return x >= 0 && y >= 0 && x < st.w && y < st.h; }

// Sends the gathered bytes. A terminal that refuses them leaves its cursor
// where nobody knows.
void send() {
    if (st.len == 0) return;
    if (write_all(st.fd, st.out, st.len, &st.writes))
        st.bytes += static_cast<long>(st.len);
    else
        st.known = false;
    st.len = 0;
}

void put(const char* s, size_t n) {
    if (st.len + n > OUT_CAP) send();
    if (n > OUT_CAP) {  // only a plain write can be this long
        if (write_all(st.fd, s, n, &st.writes)) st.bytes += static_cast<long>(n);
        else st.known = false;
        return;
    }
    std::memcpy(st.out + st.len, s, n);
    st.len += n;
}
void put(const char* s) { put(s, std::strlen(s)); }

// Decimal digits of n > 0 at buf; returns their number.
size_t digits(char* buf, int n) {
    char rev[12];
    size_t d = 0;
    do rev[d++] = static_cast<char>('0' + n % 10);
    while ((n /= 10) > 0);
    for (size_t i = 0; i < d; ++i) buf[i] = rev[d - 1 - i];
    return d;
}

// "ESC [ n final", n left out when it is 1.
size_t csi(char* buf, int n, char final) {
    size_t k = 0;
    buf[k++] = '\x1b';
    buf[k++] = '[';
    if (n != 1) k += digits(buf + k, n);
    buf[k++] = final;
    return k;
}

// CUP to (x, y), counted from 0; a 1 is left out where it may be.
size_t cup(char* buf, int x, int y) {
    if (x == 0) return csi(buf, y + 1, 'H');
    size_t k = 0;
    buf[k++] = '\x1b';
    buf[k++] = '[';
    if (y != 0) k += digits(buf + k, y + 1);
    buf[k++] = ';';
    k += digits(buf + k, x + 1);
    buf[k++] = 'H';
    return k;
}

// Moves the terminal's cursor to (x, y) with the shortest sequence that does
// not depend on the terminal's wrap or on the line discipline's LF handling.
void move_to(int x, int y) {
    if (st.known && !st.pending && st.tx == x && st.ty == y) return;
    char best[32];
    size_t n = cup(best, x, y);
    if (st.known && !st.pending) {
        char alt[16];
        size_t m = 0;
        if (y == st.ty) {
            if (x == 0) {
                alt[m++] = '\r';
            } else if (x == st.tx - 1) {
                alt[m++] = '\b';
            } else {
                char rel[16], abs[16];
                size_t r = x > st.tx ? csi(rel, x - st.tx, 'C') : csi(rel, st.tx - x, 'D');
                size_t a = csi(abs, x + 1, 'G');
                if (r <= a) std::memcpy(alt, rel, m = r);
                else std::memcpy(alt, abs, m = a);
            }
        } else if (y == st.ty + 1 && x == 0) {
            alt[m++] = '\r';
            alt[m++] = '\n';
        }
        if (m > 0 && m < n) std::memcpy(best, alt, n = m);
    }
    put(best, n);
    st.known = true;
    st.pending = false;
    st.tx = x;
    st.ty = y;
}

// The terminal's cursor after n cells were put from (x, y) on one row.
void advanced(int x, int y, int n) {
    st.known = true;
    st.ty = y;
    st.tx = x + n;
    st.pending = st.tx >= st.w;
    if (st.pending) st.tx = st.w - 1;
}

void put_glyph(uint8_t b) {
    char u[4];
    put(u, cp852_to_utf8(b, u));
}

// Sends the whole blank rows gathered so far: ED for the whole screen or a
// bottom part of it, EL row by row otherwise.
void send_clear() {
    if (st.clear_top < 0) return;
    int top = st.clear_top, bottom = st.clear_bottom;
    st.clear_top = st.clear_bottom = -1;
    if (top == 0 && bottom == st.h - 1) {
        put("\x1b[2J");
    } else if (bottom == st.h - 1) {
        move_to(0, top);
        put("\x1b[J");
    } else {
        for (int y = top; y <= bottom; ++y) {
            move_to(0, y);
            put("\x1b[K");
        }
    }
    // Whether erasing ends a pending wrap differs between terminals.
    if (st.pending) st.known = false;
}

void blank_row(int y) {
    for (int x = 0; x < st.w; ++x) cell(x, y) = ' ';
    if (st.clear_top >= 0 && y == st.clear_bottom + 1) {
        st.clear_bottom = y;
        return;
    }
    send_clear();
    st.clear_top = st.clear_bottom = y;
}

// The screen copy after the whole screen moved up one row.
void shadow_scroll_up() {
    std::memmove(shadow, shadow + st.w, sizeof(uint16_t) * static_cast<size_t>(st.w * (st.h - 1)));
    for (int x = 0; x < st.w; ++x) cell(x, st.h - 1) = ' ';
}

void forget_screen() {
    for (int i = 0; i < st.w * st.h; ++i) shadow[i] = UNKNOWN;
}

// Draws the whole screen again from its copy, after a shell or another
// program drew over it while the process was stopped.
void redraw() {
    send_clear();
    put("\x1b[2J");
    st.known = false;
    for (int y = 0; y < st.h; ++y) {
        int last = st.w - 1;
        while (last >= 0 && (cell(last, y) == ' ' || cell(last, y) == UNKNOWN)) --last;
        if (last < 0) continue;
        move_to(0, y);
        for (int x = 0; x <= last; ++x) put_glyph(cell(x, y) == UNKNOWN ? ' ' : static_cast<uint8_t>(cell(x, y)));
        advanced(0, y, last + 1);
    }
    move_to(st.lx, st.ly);
    send();
}

// ConsoleOps entries.

void begin() {
    posix_input::on_continue(redraw);
    posix_input::begin();
}
void end() {
    send_clear();
    send();
    posix_input::end();
}

bool info(plat::ScreenInfo* out) {
    *out = {st.w, st.h, st.lx, st.ly, 7, 0, 0, st.w - 1, st.h - 1};
    return true;
}

// The commit point: the terminal's cursor goes to the console's cursor and
// everything gathered leaves in one write().
bool set_cursor(int x, int y) {
    bool ok = on_screen(x, y);
    if (ok) {
        st.lx = x;
        st.ly = y;
    }
    send_clear();
    move_to(st.lx, st.ly);
    send();
    return ok;
}

void write_chars(int x, int y, const uint8_t* chars, int n) {
    if (!on_screen(x, y)) return;
    send_clear();
    while (n > 0 && y < st.h) {
        int seg = n < st.w - x ? n : st.w - x;
        move_to(x, y);
        for (int i = 0; i < seg; ++i) {
            put_glyph(chars[i]);
            cell(x + i, y) = chars[i];
        }
        advanced(x, y, seg);
        chars += seg;
        n -= seg;
        x = 0;
        ++y;
    }
}

void fill_chars(int x, int y, uint8_t ch, int n) {
    if (!on_screen(x, y)) return;
    while (n > 0 && y < st.h) {
        int seg = n < st.w - x ? n : st.w - x;
        if (ch == ' ' && x == 0 && seg == st.w) {
            blank_row(y);
        } else {
            send_clear();
            move_to(x, y);
            if (ch == ' ' && x + seg == st.w) {
                put("\x1b[K");
            } else {
                for (int i = 0; i < seg; ++i) put_glyph(ch);
                advanced(x, y, seg);
            }
            for (int i = 0; i < seg; ++i) cell(x + i, y) = ch;
        }
        n -= seg;
        x = 0;
        ++y;
    }
}

// Attributes are not sent: the terminal keeps its own colours.
void fill_attrs(int, int, uint8_t, int) {}

bool in(const plat::Rect& r, int x, int y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

// Any other move: the screen copy is moved as the console moves cells, and
// every cell that changes is drawn again.
void scroll_general(plat::Rect src, plat::Rect clip, int dx, int dy, uint8_t ch) {
    int cells = st.w * st.h;
    std::memcpy(scratch, shadow, sizeof(uint16_t) * static_cast<size_t>(cells));
    plat::Rect dest{dx, dy, dx + src.right - src.left, dy + src.bottom - src.top};
    for (int y = src.top; y <= src.bottom; ++y)
        for (int x = src.left; x <= src.right; ++x)
            if (on_screen(x, y) && in(clip, x, y) && !in(dest, x, y)) scratch[y * st.w + x] = ch;
    for (int y = src.top; y <= src.bottom; ++y)
        for (int x = src.left; x <= src.right; ++x) {
            int tx = dx + x - src.left, ty = dy + y - src.top;
            if (on_screen(x, y) && on_screen(tx, ty) && in(clip, tx, ty))
                scratch[ty * st.w + tx] = cell(x, y);
        }
    for (int y = 0; y < st.h; ++y)
        for (int x = 0; x < st.w; ++x) {
            uint16_t now = scratch[y * st.w + x];
            if (now == cell(x, y) || now == UNKNOWN) continue;
            move_to(x, y);
            put_glyph(static_cast<uint8_t>(now));
            advanced(x, y, 1);
            cell(x, y) = now;
        }
}

void scroll(plat::Rect src, plat::Rect clip, int dx, int dy, uint8_t fill_ch, uint8_t) {
    send_clear();
    bool whole_up = st.h >= 2 && src.left == 0 && src.top == 1 && src.right == st.w - 1 && src.bottom == st.h - 1 &&
                    clip.left == 0 && clip.top == 0 && clip.right == st.w - 1 &&
                    clip.bottom == st.h - 1 && dx == 0 && dy == 0 && fill_ch == ' ';
    if (!whole_up) {
        scroll_general(src, clip, dx, dy, fill_ch);
        return;
    }
    // The terminal's own scroll: LF on the bottom row. CR first (or CUP to
    // the row's start) so that the line discipline's LF handling does not
    // matter and the cursor ends in a known place.
    if (st.known && !st.pending && st.ty == st.h - 1) {
        put("\r\n");
    } else {
        char b[16];
        put(b, csi(b, st.h, 'H'));
        put("\n");
    }
    st.known = true;
    st.pending = false;
    st.tx = 0;
    st.ty = st.h - 1;
    shadow_scroll_up();
}

unsigned get_output_cp() { return st.output_cp; }
bool set_output_cp(unsigned cp) {
    st.output_cp = cp;
    return true;
}
unsigned ansi_cp() { return 852; }
bool is_stream() { return false; }
void stream_write(const uint8_t*, size_t) {}

const plat::ConsoleOps table = {begin,         end,          info,      set_cursor,
                                write_chars,   fill_chars,   fill_attrs, scroll,
                                get_output_cp, set_output_cp, ansi_cp,  is_stream,
                                stream_write,  posix_input::count_events,
                                posix_input::read_event,     posix_input::sleep_1ms};

// How the terminal moves its cursor over plain bytes (ASCII with CR LF):
// printable bytes with the terminal's deferred wrap, CR, LF (with CR when the
// line discipline adds one), BS, scrolling at the bottom. Anything whose
// effect differs between terminals leaves the terminal's cursor unknown.
void follow_plain(const uint8_t* b, size_t n, bool onlcr) {
    int x = st.tx, y = st.ty;
    bool pend = st.pending, unsure = !st.known;
    auto line_feed = [&y]() {
        if (y == st.h - 1) shadow_scroll_up();
        else ++y;
    };
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = b[i];
        if ((c >= 0x20 && c < 0x7f) || c >= 0xC0) {
            if (pend) {
                x = 0;
                line_feed();
                pend = false;
            }
            cell(x, y) = c < 0x80 ? c : UNKNOWN;
            if (c >= 0x80) unsure = true;  // a UTF-8 character of unknown width
            if (x == st.w - 1) pend = true;
            else ++x;
        } else if (c >= 0x80) {
            // UTF-8 continuation: no cell of its own
        } else if (c == '\r') {
            x = 0;
            pend = false;
        } else if (c == '\n' || c == 0x0B || c == 0x0C) {
            if (pend) unsure = true;
            line_feed();
            if (c == '\n' && onlcr) x = 0;
            pend = false;
        } else if (c == '\b') {
            if (pend) unsure = true;
            else if (x > 0) --x;
            pend = false;
        } else if (c != 7 && c != 0 && c != 0x7f) {
            unsure = true;  // TAB, ESC and the rest
        }
    }
    st.tx = st.lx = x;
    st.ty = st.ly = y;
    st.pending = pend;
    st.known = !unsure;
    if (unsure) forget_screen();
}

bool line_discipline_adds_cr(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    return (t.c_oflag & OPOST) && (t.c_oflag & ONLCR);
}

}  // namespace

bool write_all(int fd, const void* bytes, size_t n, long* calls) {
    const char* p = static_cast<const char*>(bytes);
    while (n > 0) {
        ssize_t r = ::write(fd, p, n);
        ++*calls;
        if (r > 0) {
            p += r;
            n -= static_cast<size_t>(r);
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The fd shares a non-blocking open file with standard input.
            pollfd w{fd, POLLOUT, 0};
            if (poll(&w, 1, -1) < 0 && errno != EINTR) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool same_file(int a, int b) {
    if (a == b) return true;
    struct stat sa{}, sb{};
    if (fstat(a, &sa) != 0 || fstat(b, &sb) != 0) return false;
    if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

const plat::ConsoleOps* open(int fd, int cols, int rows) {
    st.open = true;
    st.fd = fd;
    st.w = cols < 1 ? 1 : cols > MAX_W ? MAX_W : cols;
    st.h = rows < 1 ? 1 : rows > MAX_H ? MAX_H : rows;
    st.lx = st.ly = 0;
    st.known = st.pending = false;
    st.tx = st.ty = 0;
    st.clear_top = st.clear_bottom = -1;
    st.output_cp = 65001;
    st.len = 0;
    st.writes = st.bytes = 0;
    forget_screen();
    return &table;
}

const plat::ConsoleOps* open_terminal(int fd) {
    winsize ws{};
    int cols = 0, rows = 0;
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0) {
        cols = ws.ws_col;
        rows = ws.ws_row;
    }
    if (cols == 0 || rows == 0) {
        cols = 80;
        rows = 24;
    }
    return open(fd, cols, rows);
}

void close() {
    if (!st.open) return;
    send_clear();
    send();
    st.open = false;
}

bool plain_write(int fd, const uint8_t* bytes, size_t n, long* taken) {
    if (!st.open || !same_file(fd, st.fd)) return false;
    send_clear();
    move_to(st.lx, st.ly);
    long before = st.bytes + static_cast<long>(st.len) + static_cast<long>(n);
    put(reinterpret_cast<const char*>(bytes), n);
    send();
    bool ok = st.bytes == before;
    follow_plain(bytes, n, line_discipline_adds_cr(st.fd));
    if (!ok) st.known = false;
    *taken = ok ? static_cast<long>(n) : -1;
    return true;
}

long write_calls() { return st.writes; }
long bytes_sent() { return st.bytes; }

}  // namespace posix_term
