// The terminal backend held against a terminal emulator: the bytes it emits
// for the device's output, fed into libvterm of the same size, must give the
// cells and cursor that the in-memory console holds after the same output.
// Also: one write() per flush and its cost, plain writes to the same
// terminal, and which backend the process picks.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/textdev.h"
#include "platform/memory/memory_console.h"
#include "platform/posix/cp852.h"
#include "platform/posix/terminal.h"
#include "platform/process.h"
#include "tests/support/vterm_screen.h"

namespace {

void check_ok() { ASSERT_EQ(INOUTRES, 0); }
void nop() {}

// One step of output through the device.
struct Op {
    enum Kind { Write, LineEnd, Flush, Clear, GotoXY } kind;
    std::string bytes;  // Write
    int x = 0, y = 0;   // GotoXY
};
Op W(std::string b) { return {Op::Write, std::move(b)}; }
const Op LE{Op::LineEnd, {}};
const Op FL{Op::Flush, {}};
const Op CLR{Op::Clear, {}};
Op G(int x, int y) { return {Op::GotoXY, {}, x, y}; }

void apply(const Op& op) {
    switch (op.kind) {
    case Op::Write:
        WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>(op.bytes.data()), op.bytes.size(), false);
        break;
    case Op::LineEnd: WRITE_LINEEND(OUTPUT); break;
    case Op::Flush: FLUSH(OUTPUT); break;
    case Op::Clear: CLRSCR(); break;
    case Op::GotoXY: GOTOXY(static_cast<uint8_t>(op.x), static_cast<uint8_t>(op.y)); break;
    }
}

void start_device() {
    TEXTDEV_RESET();
    CRT_RESET();
    KEYBOARD_RESET();
    CRTSETUP(check_ok);
}

// The screen as the in-memory console has it, characters as Unicode.
struct Snapshot {
    std::vector<char32_t> cells;
    int cx, cy;
};

std::vector<Snapshot> run_memory(int w, int h, const std::vector<Op>& ops) {
    memcon::Setup s;
    s.screen_w = w;
    s.screen_h = h;
    s.window = {0, 0, w - 1, h - 1};
    s.attr = 7;
    memcon::install(s);
    start_device();
    std::vector<Snapshot> snaps;
    for (const Op& op : ops) {
        apply(op);
        Snapshot sn{{}, memcon::cursor_x(), memcon::cursor_y()};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) sn.cells.push_back(CP852_TO_UNICODE[memcon::cell(x, y).ch]);
        snaps.push_back(std::move(sn));
    }
    return snaps;
}

// The terminal backend writing into a memory file, read back after each step.
struct Capture {
    int fd;
    off_t read_at = 0;
    plat::ConsoleOps ops;
    Capture(int w, int h) {
        fd = memfd_create("terminal", 0);
        ops = *posix_term::open(fd, w, h);
        ops.begin = ops.end = nop;  // leave the test's own terminal alone
        plat::use_console(&ops);
    }
    ~Capture() {
        posix_term::close();
        plat::use_console(nullptr);
        ::close(fd);
    }
    std::string take() {
        std::string out;
        char buf[4096];
        ssize_t r;
        while ((r = pread(fd, buf, sizeof buf, read_at)) > 0) {
            out.append(buf, static_cast<size_t>(r));
            read_at += r;
        }
        return out;
    }
};

// Raw control bytes the backend may send: ESC (always as CSI), CR, LF, BS.
::testing::AssertionResult only_own_controls(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        bool ok = c >= 0x20 && c != 0x7f;
        if (c == 0x1b) ok = i + 1 < bytes.size() && bytes[i + 1] == '[';
        if (c == '\r' || c == '\n' || c == '\b') ok = true;
        if (!ok) return ::testing::AssertionFailure() << "byte " << int(c) << " at " << i;
    }
    return ::testing::AssertionSuccess();
}

std::string show(const std::vector<char32_t>& cells, int w, int h) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        s += '|';
        for (int x = 0; x < w; ++x) {
            char32_t c = cells[static_cast<size_t>(y * w + x)];
            s += c < 0x7f && c >= 0x20 ? static_cast<char>(c) : '#';
        }
        s += "|\n";
    }
    return s;
}

// Runs the ops on both consoles and compares after every step; at the end a
// probe character must land on the cursor's cell (libvterm cannot show a
// pending wrap, so this tells it apart from a cursor in the last column).
::testing::AssertionResult same_screen(int w, int h, const std::vector<Op>& ops) {
    std::vector<Snapshot> want = run_memory(w, h, ops);
    Capture cap(w, h);
    start_device();
    VtScreen vt(h, w);
    std::string all;
    for (size_t i = 0; i < ops.size(); ++i) {
        apply(ops[i]);
        std::string bytes = cap.take();
        all += bytes;
        auto own = only_own_controls(bytes);
        if (!own) return own << " after step " << i;
        vt.feed(bytes);
        std::vector<char32_t> got;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) got.push_back(vt.cell(x, y));
        if (got != want[i].cells)
            return ::testing::AssertionFailure() << "cells differ after step " << i << "\nsent: " << ::testing::PrintToString(all) << "\nterminal:\n"
                                                 << show(got, w, h) << "model:\n"
                                                 << show(want[i].cells, w, h);
        if (vt.cursor_x() != want[i].cx || vt.cursor_y() != want[i].cy)
            return ::testing::AssertionFailure()
                   << "cursor after step " << i << ": terminal (" << vt.cursor_x() << "," << vt.cursor_y()
                   << "), model (" << want[i].cx << "," << want[i].cy << ")";
        plat::ScreenInfo si{};
        plat::console_info(&si);
        if (si.cur_x != want[i].cx || si.cur_y != want[i].cy)
            return ::testing::AssertionFailure() << "backend's own cursor differs after step " << i;
    }
    int cx = vt.cursor_x(), cy = vt.cursor_y();
    vt.feed("\xe2\x96\xa0");  // U+25A0
    if (vt.cell(cx, cy) != U'\u25A0')
        return ::testing::AssertionFailure() << "the next character does not land at the cursor";
    return ::testing::AssertionSuccess();
}

struct Case {
    const char* name;
    int w, h;
    std::vector<Op> ops;
};

std::string all_bytes() {
    std::string s;
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s;
}
std::string run_of(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(33 + i % 90);
    return s;
}

const std::vector<Case> CASES = {
    {"text to the last column", 10, 4, {W("abcdefghij"), FL, W("k"), LE}},
    {"window-wide text and line end leave an empty row", 10, 4, {W("abcdefghij"), LE, W("x"), LE}},
    {"bottom-right cell scrolls at once", 10, 4, {W("top"), LE, G(10, 4), W("Z"), FL, W("n"), FL}},
    {"line ends scroll at the bottom", 10, 4, {W("1"), LE, W("2"), LE, W("3"), LE, W("4"), LE, W("5"), LE, W("6")}},
    {"text wider than the window", 10, 4, {W("aaaaaaaaaabbbbbbbbbbccccccccccdddddddddde"), LE, W("next"), LE}},
    {"BS in the left column and elsewhere", 10, 4, {W("\bab\bc"), LE, W("xyz\b\b\bQ\b\b"), FL, G(10, 2), W("\bR"), FL}},
    {"BS after the last column", 10, 4, {W("0123456789\b"), FL, W("w"), FL}},
    {"CR and LF alone", 10, 4, {W("abc\rX"), FL, W("def\nY"), FL, W("\n\n\n\nZ"), FL}},
    {"BEL changes nothing", 10, 4, {W("a\ab"), FL, W("\a"), FL, W("\a\a"), LE}},
    {"bytes 0, 9, 12, 27 take a cell each", 10, 4, {W(std::string("\0\t\x0c\x1b[2J\x7f", 8)), LE}},
    {"accented code page 852 bytes", 20, 3,
     {W("\xa0\x82\xa1\xa2\xa3\x94\x8b\x81\xfb \xb5\x90\xd6\xe0\xe9\x99\x8a\x9a\xeb"), LE, W("\xc9\xcd\xbb\xdb\xb0\xfe\xff\xf0"), LE}},
    {"all 256 bytes", 16, 18, {W(all_bytes()), FL}},
    {"300-byte write", 80, 24, {W(run_of(300)), FL, W(run_of(300)), LE}},
    {"300-byte write on a small window", 10, 4, {W(run_of(300)), LE}},
    {"CLRSCR then text", 10, 4, {W("junk junk junk junk"), LE, CLR, W("clean"), LE}},
    {"GOTOXY in range", 10, 4, {G(4, 3), W("mid"), FL, G(1, 1), W("home"), FL, G(10, 1), W("e"), FL}},
    {"GOTOXY out of range", 10, 4, {W("ab"), FL, G(0, 0), W("c"), FL, G(11, 1), W("d"), FL, G(1, 5), W("e"), FL, G(0, 2), W("f"), FL}},
    {"GOTOXY onto the last column after writing there", 10, 4, {W("0123456789"), FL, G(10, 1), FL, W("X"), FL}},
    {"flush with nothing waiting", 10, 4, {FL, G(3, 2), FL, FL}},
    {"one-row window", 10, 1, {W("abc"), LE, W("0123456789"), FL, W("xy"), LE}},
    {"one-column window", 1, 3, {W("abcd"), LE, W("e\bf\rg"), FL}},
    {"one cell", 1, 1, {W("ab"), LE, W("c"), FL}},
    {"typical dialogue", 80, 24, {CLR, W("\x8d" "rj be egy sz\xa2t: "), LE, W("alma"), LE, W("4"), LE}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name << " (" << c.w << "x" << c.h << ")"; }

class Compare : public ::testing::TestWithParam<Case> {};

TEST_P(Compare, TerminalMatchesModel) {
    const Case& c = GetParam();
    EXPECT_TRUE(same_screen(c.w, c.h, c.ops)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Streams, Compare, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<Case>& i) { return "case" + std::to_string(i.index); });

// Random streams with a fixed seed over windows from one cell to 80x24.
TEST(CompareRandom, ThousandsOfStreams) {
    std::mt19937 rng(0x5eed);
    const int SIZES[][2] = {{1, 1}, {1, 3}, {5, 1}, {3, 2}, {10, 4}, {7, 5}, {13, 6}, {80, 24}};
    const char SPECIAL[] = {7, 8, 10, 13, 0, 9, 12, 27, 127};
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int t = 0; t < 3000; ++t) {
        const int* sz = SIZES[pick(8)];
        int w = sz[0], h = sz[1];
        std::vector<Op> ops;
        int n_ops = 1 + pick(10);
        for (int k = 0; k < n_ops; ++k) {
            int kind = pick(10);
            if (kind < 5) {
                int len = pick(8) == 0 ? 200 + pick(120) : pick(3 * w + 2);
                std::string b;
                for (int i = 0; i < len; ++i) {
                    int r = pick(20);
                    if (r < 10) b += static_cast<char>(32 + pick(95));
                    else if (r < 14) b += SPECIAL[pick(4)];
                    else if (r < 16) b += SPECIAL[4 + pick(5)];
                    else b += static_cast<char>(pick(256));
                }
                ops.push_back(W(b));
            } else if (kind < 7) {
                ops.push_back(LE);
            } else if (kind < 8) {
                ops.push_back(FL);
            } else if (kind < 9) {
                ops.push_back(G(pick(w + 2), pick(h + 2)));
            } else {
                ops.push_back(pick(3) == 0 ? CLR : FL);
            }
        }
        ops.push_back(FL);
        ASSERT_TRUE(same_screen(w, h, ops)) << "stream " << t << " on " << w << "x" << h;
    }
}

// The backend's entries called directly, as another device could: cell
// writes and fills that run on over rows, and scrolls of any rectangle
// (parts of rows, regions, off-screen corners), against the in-memory
// console after every commit.
TEST(CompareRandom, RectanglesAndRunsOfCells) {
    std::mt19937 rng(0xce11);
    const int SIZES[][2] = {{10, 4}, {7, 5}, {13, 6}, {1, 3}, {5, 1}};
    auto pick = [&rng](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    for (int t = 0; t < 400; ++t) {
        const int* sz = SIZES[pick(0, 4)];
        int w = sz[0], h = sz[1];
        memcon::Setup s;
        s.screen_w = w;
        s.screen_h = h;
        s.window = {0, 0, w - 1, h - 1};
        memcon::install(s);
        const plat::ConsoleOps* mem = memcon::ops();
        Capture cap(w, h);
        const plat::ConsoleOps* term = &cap.ops;
        VtScreen vt(h, w);
        // The device clears the screen first; before that the backend cannot
        // know what the terminal shows.
        term->fill_chars(0, 0, ' ', w * h);
        for (int k = 0; k < 12; ++k) {
            int kind = pick(0, 2);
            int x = pick(-1, w), y = pick(-1, h);
            std::string text;
            for (int i = pick(0, 2 * w); i > 0; --i) text += static_cast<char>(pick(0, 255));
            const uint8_t* tb = reinterpret_cast<const uint8_t*>(text.data());
            int n = static_cast<int>(text.size());
            uint8_t ch = pick(0, 1) ? ' ' : static_cast<uint8_t>(pick(0, 255));
            plat::Rect src{pick(-1, w), pick(-1, h), 0, 0}, clip{pick(-1, w), pick(-1, h), 0, 0};
            src.right = pick(src.left, w);
            src.bottom = pick(src.top, h);
            clip.right = pick(clip.left, w);
            clip.bottom = pick(clip.top, h);
            int dx = pick(-1, w), dy = pick(-1, h);
            if (pick(0, 1)) dx = src.left, dy = src.top - 1;  // up by one row
            if (pick(0, 3) == 0) {  // the whole window up by one row
                src = {0, 1, w - 1, h - 1};
                clip = {0, 0, w - 1, h - 1};
                dx = dy = 0;
                ch = ' ';
            }
            int cx = pick(0, w - 1), cy = pick(0, h - 1);
            for (const plat::ConsoleOps* o : {mem, term}) {
                if (kind == 0) o->write_chars(x, y, tb, n);
                if (kind == 1) o->fill_chars(x, y, ch, n);
                if (kind == 2) o->scroll(src, clip, dx, dy, ch, 7);
                o->set_cursor(cx, cy);
            }
            std::string bytes = cap.take();
            ASSERT_TRUE(only_own_controls(bytes));
            vt.feed(bytes);
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx)
                    ASSERT_EQ(vt.cell(xx, yy), CP852_TO_UNICODE[memcon::cell(xx, yy).ch])
                        << "cell (" << xx << "," << yy << ") after op " << k << " (kind " << kind << ") of run " << t
                        << " on " << w << "x" << h;
            ASSERT_EQ(vt.cursor_x(), cx);
            ASSERT_EQ(vt.cursor_y(), cy);
        }
    }
}

// The shape of what one flush sends.
struct Flushes : ::testing::Test {
    Capture cap{80, 24};
    void SetUp() override { start_device(); }
    long calls(const std::vector<Op>& ops) {
        long before = posix_term::write_calls();
        for (const Op& op : ops) apply(op);
        return posix_term::write_calls() - before;
    }
};

TEST_F(Flushes, OneWritePerFlush) {
    EXPECT_EQ(calls({W("first line"), LE}), 1);
    EXPECT_EQ(calls({W(run_of(200)), W(run_of(56))}), 0);  // exactly full: waits
    EXPECT_EQ(calls({LE}), 2);  // the full buffer, then the line end's own flush
    EXPECT_EQ(calls({W(run_of(300))}), 1);  // the first 256 bytes
    EXPECT_EQ(calls({FL}), 1);              // the other 44
    // A full buffer that scrolls the screen several times is still one write.
    EXPECT_EQ(calls({G(1, 24), W(std::string(128, '\n') + std::string(128, 'x')), FL}), 2);
    EXPECT_EQ(calls({CLR}), 1);
}

TEST_F(Flushes, RunOnOneRowCostsItsBytesAndOnePositioning) {
    // Code page 852 text: "Írj be egy szót: ő" in UTF-8.
    const std::string text = "\xd6rj be egy sz\xa2t: \x8b";
    const std::string utf8 = "\xc3\x8drj be egy sz\xc3\xb3t: \xc5\x91";
    const std::regex one_move("\x1b\\[[0-9;]*[HGCD]|\r|\b|\r\n|");
    cap.take();
    // Unknown terminal cursor (nothing sent yet): one positioning, then the text.
    EXPECT_EQ(calls({W(text), FL}), 1);
    std::string sent = cap.take();
    ASSERT_GE(sent.size(), utf8.size());
    EXPECT_EQ(sent.substr(sent.size() - utf8.size()), utf8);
    EXPECT_TRUE(std::regex_match(sent.substr(0, sent.size() - utf8.size()), one_move)) << sent;
    // The terminal already stands there: the text alone.
    apply(W(text));
    apply(FL);
    EXPECT_EQ(cap.take(), utf8);
    // After a move elsewhere.
    apply(G(30, 12));
    cap.take();
    apply(W(text));
    apply(FL);
    EXPECT_EQ(cap.take(), utf8);
    // A line end on the bottom row is the terminal's own scroll: CR LF.
    apply(G(1, 24));
    cap.take();
    apply(W(text));
    apply(LE);
    EXPECT_EQ(cap.take(), utf8 + "\r\n");
}

TEST_F(Flushes, ClearScreenIsOneErase) {
    apply(CLR);
    EXPECT_EQ(cap.take(), "\x1b[2J\x1b[H");
}

// Plain bytes to the same terminal, as the frame writes its error report.
struct PlainWrites : ::testing::Test {
    static constexpr int COLS = 20, ROWS = 5;
    Capture cap{COLS, ROWS};
    VtScreen vt{ROWS, COLS};
    void SetUp() override { start_device(); }
    void plain(const std::string& s) {
        long n = plat::write_handle(cap.fd, reinterpret_cast<const uint8_t*>(s.data()), s.size());
        EXPECT_EQ(n, static_cast<long>(s.size()));
    }
    void sync() {
        std::string bytes = cap.take();
        vt.feed(bytes);
    }
    ::testing::AssertionResult cursors_agree() {
        sync();
        plat::ScreenInfo si{};
        plat::console_info(&si);
        if (si.cur_x == vt.cursor_x() && si.cur_y == vt.cursor_y()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "backend (" << si.cur_x << "," << si.cur_y << "), terminal ("
                                             << vt.cursor_x() << "," << vt.cursor_y() << ")";
    }
};

TEST_F(PlainWrites, ReportStartsAtTheCursorAndTheNextFlushFollowsIt) {
    apply(CLR);
    apply(W("Hello"));
    apply(FL);  // cursor after "Hello", mid-row
    plain("Runtime error 201 at 0000000000401234\r\n");
    EXPECT_TRUE(cursors_agree());
    EXPECT_EQ(vt.row(0), "HelloRuntime error 2");
    EXPECT_EQ(vt.row(1), "01 at 00000000004012");
    EXPECT_EQ(vt.row(2), "34");
    apply(W("X"));
    apply(LE);
    sync();
    EXPECT_EQ(vt.row(3), "X");
    EXPECT_TRUE(cursors_agree());
}

TEST_F(PlainWrites, ReportOnTheBottomRowScrolls) {
    apply(CLR);
    for (const char* line : {"one", "two", "three", "four"}) {
        apply(W(line));
        apply(LE);
    }
    plain("12345678901234567890\r\nend\r\n");  // exactly a row, then more
    EXPECT_TRUE(cursors_agree());
    EXPECT_EQ(vt.row(0), "three");
    EXPECT_EQ(vt.row(1), "four");
    EXPECT_EQ(vt.row(2), "12345678901234567890");
    EXPECT_EQ(vt.row(3), "end");
    apply(W("after"));
    apply(FL);
    sync();
    EXPECT_EQ(vt.row(4), "after");
}

TEST_F(PlainWrites, EndingInTheLastColumnLeavesTheCursorThere) {
    apply(CLR);
    plain("abcdefghijklmnopqrst");  // the terminal now waits to wrap
    EXPECT_TRUE(cursors_agree());
    apply(W("X"));  // lands on the last cell, as the cursor says
    apply(FL);
    sync();
    EXPECT_EQ(vt.row(0), "abcdefghijklmnopqrsX");
    EXPECT_EQ(vt.row(1), "");
    EXPECT_TRUE(cursors_agree());
}

TEST_F(PlainWrites, LoneLineFeedsAndBackspaces) {
    apply(CLR);
    apply(W("abc"));
    apply(FL);
    plain("d\n\be");  // the line discipline is not in the way here: LF keeps the column
    EXPECT_TRUE(cursors_agree());
    apply(W("f"));
    apply(FL);
    sync();
    EXPECT_EQ(vt.row(1), "   ef");
}

TEST_F(PlainWrites, OtherFilesAreNotRouted) {
    int other = memfd_create("other", 0);
    long taken = 0;
    EXPECT_FALSE(posix_term::plain_write(other, reinterpret_cast<const uint8_t*>("x"), 1, &taken));
    EXPECT_EQ(plat::write_handle(other, reinterpret_cast<const uint8_t*>("xy"), 2), 2);
    ::close(other);
    EXPECT_EQ(cap.take(), "");
}

// The backend the process picks, in a child whose standard output is a
// pseudo-terminal of a given size, or a pipe.
struct Picked {
    bool stream;
    int w, h;
};
Picked picked_in_child(bool tty, int cols, int rows) {
    int pfd[2];
    EXPECT_EQ(pipe(pfd), 0);
    int master = -1, slave = -1;
    if (tty) {
        winsize ws{};
        ws.ws_col = static_cast<unsigned short>(cols);
        ws.ws_row = static_cast<unsigned short>(rows);
        EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, &ws), 0);
    }
    pid_t pid = fork();
    if (pid == 0) {
        int out[2];
        if (!tty && pipe(out) != 0) _exit(1);
        dup2(tty ? slave : out[1], 1);
        const plat::ConsoleOps* ops = plat::native_console();
        plat::ScreenInfo si{};
        Picked p{ops->is_stream(), 0, 0};
        if (ops->info(&si)) {
            p.w = si.win_right - si.win_left + 1;
            p.h = si.win_bottom - si.win_top + 1;
        }
        if (write(pfd[1], &p, sizeof p) != sizeof p) _exit(1);
        _exit(0);
    }
    Picked p{};
    EXPECT_EQ(read(pfd[0], &p, sizeof p), static_cast<ssize_t>(sizeof p));
    int status = 0;
    waitpid(pid, &status, 0);
    ::close(pfd[0]);
    ::close(pfd[1]);
    if (tty) {
        ::close(master);
        ::close(slave);
    }
    return p;
}

TEST(NativeConsole, PicksByStandardOutput) {
    Picked t = picked_in_child(true, 33, 7);
    EXPECT_FALSE(t.stream);
    EXPECT_EQ(t.w, 33);
    EXPECT_EQ(t.h, 7);
    Picked z = picked_in_child(true, 0, 0);  // a terminal that reports no size
    EXPECT_EQ(z.w, 80);
    EXPECT_EQ(z.h, 24);
    Picked s = picked_in_child(false, 0, 0);
    EXPECT_TRUE(s.stream);
}

}  // namespace
