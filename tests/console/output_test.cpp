// Screen output of the console device on the in-memory console: the write
// operations and their buffer, WRITECHAR's control bytes, wrapping and
// scrolling, CLRSCR, GOTOXY and the set-up.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/textdev.h"
#include "platform/memory/memory_console.h"

namespace {

void check_ok() { ASSERT_EQ(INOUTRES, 0); }

void open_console(const memcon::Setup& s) {
    TEXTDEV_RESET();
    CRT_RESET();
    KEYBOARD_RESET();
    memcon::install(s);
    CRTSETUP(check_ok);
}

// A small console: a 10x4 window at the top-left of a 12x6 screen filled
// with dots, so that cells outside the window show when they change.
memcon::Setup small() {
    memcon::Setup s;
    s.screen_w = 12;
    s.screen_h = 6;
    s.window = {0, 0, 9, 3};
    s.attr = 0x17;
    s.fill_ch = '.';
    s.fill_attr = 0x70;
    return s;
}

void put(const std::string& text) {
    WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>(text.data()), text.size(), false);
}
void line() { WRITE_LINEEND(OUTPUT); }
void flush() { FLUSH(OUTPUT); }

std::vector<std::string> screen() {
    std::vector<std::string> rows;
    for (int y = 0; y < 6; ++y) rows.push_back(memcon::row(y));
    return rows;
}

struct ScreenCase {
    const char* name;
    std::function<void()> act;
    std::vector<std::string> rows;  // the whole 12x6 screen
    int cx, cy;                     // the console's cursor, from 0
};

void PrintTo(const ScreenCase& c, std::ostream* os) { *os << c.name; }

class ScreenOutput : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenOutput, CellsAndCursor) {
    const ScreenCase& c = GetParam();
    open_console(small());
    CLRSCR();
    c.act();
    EXPECT_EQ(screen(), c.rows);
    EXPECT_EQ(memcon::cursor_x(), c.cx);
    EXPECT_EQ(memcon::cursor_y(), c.cy);
}

const ScreenCase screen_cases[] = {
    {"empty_flush_changes_nothing", [] { flush(); },
     {"          ..", "          ..", "          ..", "          ..", "............", "............"}, 0, 0},
    {"bel_does_nothing", [] { put("a\ab"); flush(); },
     {"ab        ..", "          ..", "          ..", "          ..", "............", "............"}, 2, 0},
    {"bs_in_left_column_does_nothing", [] { put("\bx"); flush(); },
     {"x         ..", "          ..", "          ..", "          ..", "............", "............"}, 1, 0},
    {"bs_moves_left_and_erases_nothing", [] { put("abc\b\b"); flush(); },
     {"abc       ..", "          ..", "          ..", "          ..", "............", "............"}, 1, 0},
    {"bs_then_overwrite", [] { put("abc\bX"); flush(); },
     {"abX       ..", "          ..", "          ..", "          ..", "............", "............"}, 3, 0},
    {"lf_keeps_the_column", [] { put("ab\ncd"); flush(); },
     {"ab        ..", "  cd      ..", "          ..", "          ..", "............", "............"}, 4, 1},
    {"cr_keeps_the_row", [] { put("abcd\rX"); flush(); },
     {"Xbcd      ..", "          ..", "          ..", "          ..", "............", "............"}, 1, 0},
    {"line_end_on_bottom_row_scrolls", [] { put("1"); line(); put("2"); line(); put("3"); line(); put("4"); line(); },
     {"2         ..", "3         ..", "4         ..", "          ..", "............", "............"}, 0, 3},
    {"bottom_right_cell_scrolls_at_once", [] { put("\n\n\n         Z"); flush(); },
     {"          ..", "          ..", "         Z..", "          ..", "............", "............"}, 0, 3},
    {"exact_width_then_line_end_leaves_a_row", [] { put("0123456789"); line(); put("x"); flush(); },
     {"0123456789..", "          ..", "x         ..", "          ..", "............", "............"}, 1, 2},
    {"wider_than_window_wraps_and_scrolls", [] { put("\n\n\nabcdefghijKLM"); line(); put("n"); flush(); },
     {"          ..", "abcdefghij..", "KLM       ..", "n         ..", "............", "............"}, 1, 3},
    {"control_bytes_take_one_cell", [] { put(std::string("\t\f\0\x1b\x7f", 5)); flush(); },
     {std::string("\t\f\0\x1b\x7f", 5) + "     ..", "          ..", "          ..", "          ..",
      "............", "............"}, 5, 0},
    {"gotoxy_moves_inside_the_window", [] { GOTOXY(9, 4); put("Q"); flush(); },
     {"          ..", "          ..", "          ..", "        Q ..", "............", "............"}, 9, 3},
    {"gotoxy_out_of_range_moves_nothing", [] {
         GOTOXY(3, 2);
         GOTOXY(0, 0);
         GOTOXY(11, 1);
         GOTOXY(1, 5);
         GOTOXY(0, 3);
         put("Q");
         flush();
     },
     {"          ..", "  Q       ..", "          ..", "          ..", "............", "............"}, 3, 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, ScreenOutput, ::testing::ValuesIn(screen_cases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ConsoleOutput, ScrolledInRowAndWrittenCellsCarryTextattr) {
    open_console(small());
    CLRSCR();
    put("abc\n\n\n");
    line();
    for (int x = 0; x < 10; ++x) EXPECT_EQ(memcon::cell(x, 3).attr, 0x17) << x;
    EXPECT_EQ(memcon::cell(10, 3).attr, 0x70);  // outside the window
    put("q");
    flush();
    EXPECT_EQ(memcon::cell(0, 3).ch, 'q');
    EXPECT_EQ(memcon::cell(0, 3).attr, 0x17);
}

TEST(ConsoleOutput, ClrscrClearsOnlyTheWindowAndHomesTheCursor) {
    memcon::Setup s = small();
    s.window = {1, 1, 8, 3};
    s.cur_x = 5;
    s.cur_y = 5;
    open_console(s);
    CLRSCR();
    EXPECT_EQ(screen(), (std::vector<std::string>{"............", ".        ...", ".        ...",
                                                  ".        ...", "............", "............"}));
    EXPECT_EQ(memcon::cell(1, 1).attr, 0x17);
    EXPECT_EQ(memcon::cell(0, 1).attr, 0x70);
    EXPECT_EQ(memcon::cursor_x(), 1);
    EXPECT_EQ(memcon::cursor_y(), 1);
}

TEST(ConsoleOutput, WindowInsideALargerScreenWrapsAndScrollsWithinIt) {
    memcon::Setup s = small();
    s.window = {1, 1, 4, 2};  // 4x2 at (2,2)
    open_console(s);
    CLRSCR();
    put("abcdefghij");
    flush();
    EXPECT_EQ(screen(), (std::vector<std::string>{"............", ".efgh.......", ".ij  .......",
                                                  "............", "............", "............"}));
    EXPECT_EQ(memcon::cursor_x(), 3);
    EXPECT_EQ(memcon::cursor_y(), 2);
}

// REMOVELINE on each window line, in a window inside a larger screen: the
// rows below line n move up, the last row turns blank, and rows above line n
// and every cell outside the window stay; a line outside the window deletes
// nothing.
TEST(ConsoleOutput, RemovelineDeletesOneWindowLine) {
    const struct {
        uint32_t n;
        std::vector<std::string> rows;
    } cases[] = {
        {1, {"............", ".bbbbbbb ...", ".ccccccc ...", ".ddddddd ...", ".        ...", "............"}},
        {2, {"............", ".aaaaaaa ...", ".ccccccc ...", ".ddddddd ...", ".        ...", "............"}},
        {4, {"............", ".aaaaaaa ...", ".bbbbbbb ...", ".ccccccc ...", ".        ...", "............"}},
        {0, {"............", ".aaaaaaa ...", ".bbbbbbb ...", ".ccccccc ...", ".ddddddd ...", "............"}},
        {5, {"............", ".aaaaaaa ...", ".bbbbbbb ...", ".ccccccc ...", ".ddddddd ...", "............"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        memcon::Setup s = small();
        s.window = {1, 1, 8, 4};
        open_console(s);
        CLRSCR();
        for (uint8_t y = 1; y <= 4; ++y) {
            GOTOXY(1, y);
            put(std::string(7, static_cast<char>('a' + y - 1)));
            flush();
        }
        REMOVELINE(c.n);
        EXPECT_EQ(screen(), c.rows);
        EXPECT_EQ(memcon::cell(1, 4).attr, 0x17);
        EXPECT_EQ(memcon::cell(0, 4).attr, 0x70);
    }
}

TEST(ConsoleOutput, TextReachesTheScreenOnlyAtLineEndFullBufferOrFlush) {
    open_console(small());
    CLRSCR();
    put("abc");
    EXPECT_EQ(memcon::row(0), "          ..");
    line();
    EXPECT_EQ(memcon::row(0), "abc       ..");

    // 300 bytes: the first 256 during the write, the other 44 at the flush.
    open_console(small());
    CLRSCR();
    std::string text(300, 'x');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
    put(text);
    int ops_after_write = memcon::cell_ops();
    EXPECT_EQ(OUTPUT.fill, 44u);
    // 256 bytes over a 10x4 window: the last rows hold bytes 220..255.
    EXPECT_EQ(memcon::row(3).substr(0, 6), text.substr(250, 6));
    flush();
    EXPECT_GT(memcon::cell_ops(), ops_after_write);
    // The last byte filled the bottom row's last cell, so that row scrolled up.
    EXPECT_EQ(memcon::row(2).substr(0, 10), text.substr(290, 10));
    EXPECT_EQ(memcon::row(3), "          ..");
    EXPECT_EQ(OUTPUT.fill, 0u);
}

TEST(ConsoleOutput, ExactlyFullBufferWaitsForTheNextAppend) {
    open_console(small());
    CLRSCR();
    int ops = memcon::cell_ops();
    put(std::string(256, 'y'));
    EXPECT_EQ(OUTPUT.fill, 256u);
    EXPECT_EQ(memcon::cell_ops(), ops);  // nothing shown yet
    put("z");
    EXPECT_EQ(OUTPUT.fill, 1u);  // the 256 went on, the new byte waits
    EXPECT_GT(memcon::cell_ops(), ops);
}

TEST(ConsoleOutput, AFullBufferShowsAll256BytesInOrder) {
    memcon::Setup s;
    s.screen_w = 64;
    s.screen_h = 5;
    s.window = {0, 0, 63, 4};
    open_console(s);
    CLRSCR();
    std::string text;
    for (int i = 0; i < 256; ++i) text += static_cast<char>(i == 7 || i == 8 || i == 10 || i == 13 ? 'x' : i);
    put(text);
    flush();
    std::string shown;
    for (int y = 0; y < 4; ++y) shown += memcon::row(y);
    EXPECT_EQ(shown, text);
    EXPECT_EQ(memcon::cursor_x(), 0);
    EXPECT_EQ(memcon::cursor_y(), 4);
}

TEST(ConsoleOutput, FlushSwitchesToTheDisplayCodePageAndBack) {
    memcon::Setup s = small();
    s.output_cp = 437;
    s.ansi_cp = 1250;
    open_console(s);
    put("a");
    line();
    flush();
    EXPECT_EQ(memcon::output_cp(), 437u);
    EXPECT_EQ(memcon::cp_log(), (std::vector<unsigned>{1250, 437, 1250, 437}));
}

TEST(ConsoleOutput, TheConsoleCursorIsPickedUpByTheNextFlush) {
    open_console(small());
    CLRSCR();
    put("ab");
    flush();
    plat::set_cursor(5, 2);  // someone else moved it
    put("c");
    flush();
    EXPECT_EQ(memcon::cell(5, 2).ch, 'c');
    EXPECT_EQ(memcon::cursor_x(), 6);
}

// The text that each write operation forms, and its field width.
TEST(WriteOperations, Texts) {
    struct Case {
        const char* name;
        std::function<void()> write;
        std::string text;
    } cases[] = {
        {"sint_negative", [] { WRITE_SINT(0, OUTPUT, -5); }, "-5"},
        {"sint_zero", [] { WRITE_SINT(0, OUTPUT, 0); }, "0"},
        {"sint_min", [] { WRITE_SINT(0, OUTPUT, INT32_MIN); }, "-2147483648"},
        {"sint_width", [] { WRITE_SINT(5, OUTPUT, -42); }, "  -42"},
        {"sint_narrow_width", [] { WRITE_SINT(1, OUTPUT, 254); }, "254"},
        {"uint_max", [] { WRITE_UINT(0, OUTPUT, UINT32_MAX); }, "4294967295"},
        {"uint_width", [] { WRITE_UINT(4, OUTPUT, 7); }, "   7"},
        {"chars_stop_at_zero", [] { WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>("ab\0de"), 5, true); }, "ab"},
        {"chars_keep_zero", [] { WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>("ab\0de"), 5, false); },
         std::string("ab\0de", 5)},
        {"chars_no_zero", [] { WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>("abcde"), 5, true); }, "abcde"},
        {"chars_width", [] { WRITE_CHARS(4, OUTPUT, reinterpret_cast<const uint8_t*>("ab"), 2, true); }, "  ab"},
        {"pstring", [] { PSTRING s{3, {'x', 'y', 'z'}}; WRITE_PSTRING(0, OUTPUT, s); }, "xyz"},
        {"pstring_empty", [] { PSTRING s{}; WRITE_PSTRING(0, OUTPUT, s); }, ""},
        {"pstring_width_blanks_over_a_full_buffer", [] {
             PSTRING s{1, {'q'}};
             WRITE_PSTRING(300, OUTPUT, s);
         }, ""},  // checked below: 299 blanks, then q
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        memcon::install_stream();
        TEXTDEV_RESET();
        CRT_RESET();
        CRTSETUP(check_ok);
        c.write();
        EXPECT_EQ(INOUTRES, 0);
        flush();
        if (std::string(c.name) == "pstring_width_blanks_over_a_full_buffer")
            EXPECT_EQ(memcon::stream(), std::string(299, ' ') + "q");
        else
            EXPECT_EQ(memcon::stream(), c.text);
    }
}

// A device open for input, a closed one, and a pending I/O result.
TEST(WriteOperations, RefusedDevicesSetTheResultAndShowNothing) {
    struct Case {
        const char* name;
        TEXTREC* dev;
        uint16_t pending;
        uint16_t result;
    };
    static TEXTREC closed;
    const Case cases[] = {
        {"input", &INPUT, 0, 105},
        {"closed", &closed, 0, 103},
        {"pending_result", &OUTPUT, 101, 101},
    };
    const std::function<void(TEXTREC&)> ops[] = {
        [](TEXTREC& f) { WRITE_CHARS(0, f, reinterpret_cast<const uint8_t*>("ab"), 2, true); },
        [](TEXTREC& f) { PSTRING s{1, {'a'}}; WRITE_PSTRING(0, f, s); },
        [](TEXTREC& f) { WRITE_SINT(0, f, 1); },
        [](TEXTREC& f) { WRITE_UINT(0, f, 1); },
        [](TEXTREC& f) { WRITE_LINEEND(f); },
        [](TEXTREC& f) { FLUSH(f); },
    };
    for (const auto& c : cases) {
        for (size_t i = 0; i < std::size(ops); ++i) {
            SCOPED_TRACE(std::string(c.name) + " op " + std::to_string(i));
            open_console(small());
            CLRSCR();
            TEXT_CLEAR(closed);
            int ops_before = memcon::cell_ops();
            INOUTRES = c.pending;
            ops[i](*c.dev);
            EXPECT_EQ(INOUTRES, c.result);
            INOUTRES = 0;
            EXPECT_EQ(c.dev->fill, 0u);
            FLUSH(OUTPUT);
            EXPECT_EQ(memcon::cell_ops(), ops_before);
        }
    }
}

TEST(WriteOperations, OpeningAnUnboundDeviceIs102AndAPendingResultSkipsIt) {
    TEXTREC f{};
    INOUTRES = 0;
    TEXT_OPEN(f, MODE_OUTPUT);
    EXPECT_EQ(INOUTRES, 102);
    ASSIGNCRT(f);
    TEXT_OPEN(f, MODE_OUTPUT);  // skipped: the result is still 102
    EXPECT_EQ(f.mode, MODE_CLOSED);
    INOUTRES = 0;
    TEXT_OPEN(f, MODE_OUTPUT);
    EXPECT_EQ(f.mode, MODE_OUTPUT);
    EXPECT_EQ(CRTCLOSE(f), 0);
    EXPECT_EQ(f.mode, MODE_CLOSED);
}

TEST(ConsoleSetUp, CapturesWindowAttributeAndOpensBothDevices) {
    memcon::Setup s;
    s.window = {2, 3, 41, 12};
    s.attr = 0x1E;
    s.cur_x = 7;
    s.cur_y = 9;
    DOINGNUMCHARS = true;
    DOINGNUMCODE = 9;
    open_console(s);
    EXPECT_EQ(TEXTATTR, 0x1E);
    EXPECT_EQ(WINDMINX, 3u);
    EXPECT_EQ(WINDMINY, 4u);
    EXPECT_EQ(WINDMAXX, 42u);
    EXPECT_EQ(WINDMAXY, 13u);
    EXPECT_FALSE(DOINGNUMCHARS);
    EXPECT_EQ(DOINGNUMCODE, 0);
    EXPECT_EQ(OUTPUT.mode, MODE_OUTPUT);
    EXPECT_EQ(INPUT.mode, MODE_INPUT);
    EXPECT_EQ(OUTPUT.handle, plat::std_handle(plat::StdStream::Out));
    EXPECT_EQ(INPUT.handle, plat::std_handle(plat::StdStream::In));
    // The set-up writes nothing and does not move the cursor.
    EXPECT_EQ(memcon::cell_ops(), 0);
    EXPECT_EQ(memcon::cursor_x(), 7);
    EXPECT_EQ(memcon::cursor_y(), 9);
    EXPECT_TRUE(memcon::session_open());
}

TEST(ConsoleSetUp, NotAConsoleGivesAOneCellWindowAndPlainBytes) {
    memcon::install_stream();
    TEXTDEV_RESET();
    CRT_RESET();
    CRTSETUP(check_ok);
    EXPECT_EQ(TEXTATTR, 0);
    EXPECT_EQ(WINDMINX, 1u);
    EXPECT_EQ(WINDMINY, 1u);
    EXPECT_EQ(WINDMAXX, 1u);
    EXPECT_EQ(WINDMAXY, 1u);
    CLRSCR();
    put("ab\x82");
    line();
    put("cd");
    flush();
    EXPECT_EQ(INOUTRES, 0);
    EXPECT_EQ(memcon::stream(), "ab\x82\r\ncd");
}

}  // namespace
