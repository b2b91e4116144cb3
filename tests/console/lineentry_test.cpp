// Line entry on the in-memory console (the line in INPUT's buffer, the echo
// in the cells, the cursor, the code page, type-ahead) and the two reads on
// a device whose transfer function hands out scripted chunks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/lineentry.h"
#include "console/textdev.h"
#include "platform/memory/memory_console.h"

namespace {

void check_ok() { ASSERT_EQ(INOUTRES, 0); }

std::string trimmed_row(int y) {
    std::string r = memcon::row(y);
    r.erase(r.find_last_not_of(' ') + 1);
    return r;
}

std::string str(const PSTRING& s) { return std::string(s.ch, s.ch + s.len); }

struct LineEntry : ::testing::Test {
    void open(memcon::Setup s = {}) {
        TEXTDEV_RESET();
        CRT_RESET();
        KEYBOARD_RESET();
        CHECKEOF = false;
        memcon::install(s);
        CRTSETUP(check_ok);
    }
    void SetUp() override { open(); }
    // The line as line entry left it in the buffer, line end included.
    static std::string line() { return std::string(INPUT.buffer, INPUT.buffer + INPUT.end); }
    static std::string read(uint8_t capacity = 255) {
        PSTRING s{};
        READ_PSTRING(INPUT, s, capacity);
        return str(s);
    }
};

struct EntryCase {
    const char* what;
    const char* script;
    std::string line;  // the buffer after the entry
    std::string row0;  // the first screen row, trailing blanks cut
};

TEST_F(LineEntry, ScriptsGiveLineAndEcho) {
    const EntryCase cases[] = {
        {"Enter at once", "{Enter}", "\r\n", ""},
        {"editing overwrites", "abc{Left}{Left}X{Enter}", "aXc\r\n", "aXc"},
        {"Enter inside the line ends it whole", "abc{Home}{Enter}", "abc\r\n", "abc"},
        {"Backspace at the end", "abc{Bksp}{Enter}", "ab\r\n", "ab"},
        {"Backspace inside the line", "abc{Left}{Bksp}{Enter}", "abc\r\n", "abc"},
        {"Ctrl+S erases like Backspace", "ab{Ctrl+S}c{Enter}", "ac\r\n", "ac"},
        {"Esc inside the line", "abc{Left}{Left}{Esc}xy{Enter}", "xy\r\n", "xy"},
        {"Ctrl+Y at the start", "abc{Home}{Ctrl+Y}{Enter}", "\r\n", ""},
        {"Ctrl+Z ignored", "a{Ctrl+Z}b{Enter}", "ab\r\n", "ab"},
        {"keypad slash and Enter", "1{KpSlash}2{KpEnter}", "1/2\r\n", "1/2"},
        {"Tab stored, Shift+Tab ignored", "a{Tab}{Shift+Tab}b{Enter}", "a\tb\r\n", "a\tb"},
        {"Home, Right, End", "abc{Home}{Right}Z{End}Y{Right}{Enter}", "aZcY\r\n", "aZcY"},
        {"Left and Home at the start", "{Left}{Home}a{Enter}", "a\r\n", "a"},
        {"other special keys ignored", "a{F1}{Up}{Del}{Ctrl+Home}{Alt+Enter}b{Enter}", "ab\r\n", "ab"},
        {"BEL stored, not shown", "a\x07" "b{Enter}", "a\x07" "b\r\n", "ab"},
        {"compositions", "{Compose:65}{Compose:256}b{Compose:13}", "Ab\r\n", "Ab"},
        // Left Alt on a key with no scan code: a special key whose code is 0,
        // after which nothing waits; the next key is typed, not taken as its code.
        {"special key with code 0", "a{Alt+\x82}b{Enter}", "ab\r\n", "ab"},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.what);
        open();
        memcon::push_script(c.script);
        EXPECT_EQ(read(), c.line.substr(0, c.line.size() - 2));
        EXPECT_EQ(line(), c.line);
        EXPECT_EQ(trimmed_row(0), c.row0);
        EXPECT_EQ(trimmed_row(1), "");
        EXPECT_EQ(memcon::cursor_x(), 0);
        EXPECT_EQ(memcon::cursor_y(), 1);
        READ_LINEEND(INPUT);
        EXPECT_EQ(INPUT.fill, INPUT.end);
    }
}

TEST_F(LineEntry, StartsAtTheConsoleCursorAndRestoresTheCodePage) {
    memcon::Setup s;
    s.cur_x = 5;
    s.cur_y = 3;
    s.output_cp = 437;
    s.ansi_cp = 852;
    open(s);
    memcon::push_script("ab{Left}{Enter}");
    EXPECT_EQ(read(), "ab");
    EXPECT_EQ(memcon::row(3).substr(4, 4), " ab ");
    EXPECT_EQ(memcon::cursor_x(), 0);
    EXPECT_EQ(memcon::cursor_y(), 4);
    EXPECT_EQ(memcon::cp_log(), (std::vector<unsigned>{852, 437}));
    // The visible cursor is placed before each of the four keys, and once at the end.
    EXPECT_EQ(memcon::cursor_moves(), 5);
}

TEST_F(LineEntry, LineHoldsAtMost254Characters) {
    memcon::push_script(std::string(260, 'x') + "{Enter}");
    EXPECT_EQ(read(), std::string(254, 'x'));
    EXPECT_EQ(INPUT.end, 256u);
    EXPECT_EQ(trimmed_row(2), std::string(80, 'x'));
    EXPECT_EQ(trimmed_row(3), std::string(14, 'x'));  // the dropped keys show nothing
    EXPECT_EQ(memcon::cursor_y(), 4);

    // Editing keys still work on a full line.
    open();
    memcon::push_script(std::string(254, 'x') + "{Bksp}yz{Left}{Enter}");
    EXPECT_EQ(read(), std::string(253, 'x') + "y");
    EXPECT_EQ(trimmed_row(3), std::string(13, 'x') + "y");
}

TEST_F(LineEntry, LineFeedInsideTheLine) {
    memcon::push_script("ab{Ctrl+Enter}cd{Enter}");
    EXPECT_EQ(read(), "ab");
    EXPECT_EQ(line(), "ab\ncd\r\n");
    EXPECT_EQ(trimmed_row(0), "ab");
    EXPECT_EQ(trimmed_row(1), "  cd");
    EXPECT_EQ(memcon::cursor_y(), 2);
    READ_LINEEND(INPUT);
    EXPECT_EQ(INPUT.fill, 3u);  // the LF is consumed, the rest waits
    EXPECT_EQ(read(), "cd");    // from the buffer, no second entry
    READ_LINEEND(INPUT);
    EXPECT_EQ(INPUT.fill, INPUT.end);
}

TEST_F(LineEntry, EchoWrappedOntoAFurtherRow) {
    struct Case {
        const char* what;
        const char* script;
        std::string line, row0, row1;
    };
    const Case cases[] = {
        // A line as wide as the window has already wrapped: the erase step
        // blanks the cell at the left edge and the last character stays.
        {"Backspace after a full row", "abcdefghij{Bksp}{Enter}", "abcdefghi", "abcdefghij", ""},
        {"Backspace past the edge", "abcdefghijkl{Bksp}{Bksp}{Bksp}{Enter}", "abcdefghi", "abcdefghij", ""},
        // Home takes the index to 0 but the echo only to the left edge.
        {"Home", "abcdefghijkl{Home}X{Enter}", "Xbcdefghijkl", "abcdefghij", "Xl"},
        {"Left", "abcdefghijk{Left}{Left}{Left}X{Enter}", "abcdefghXjk", "abcdefghij", "X"},
    };
    memcon::Setup s;
    s.window = {0, 0, 9, 24};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open(s);
        memcon::push_script(c.script);
        EXPECT_EQ(read(), c.line);
        EXPECT_EQ(trimmed_row(0), c.row0);
        EXPECT_EQ(trimmed_row(1), c.row1);
        EXPECT_EQ(memcon::cursor_x(), 0);
        EXPECT_EQ(memcon::cursor_y(), 2);
    }
}

TEST_F(LineEntry, TypeAheadStaysQueued) {
    memcon::push_script("ab{Enter}cd{Enter}x");
    EXPECT_EQ(read(), "ab");
    EXPECT_EQ(memcon::queued_events(), 9u);  // Enter's release, c d Enter x
    READ_LINEEND(INPUT);
    EXPECT_EQ(INPUT.fill, INPUT.end);
    EXPECT_EQ(read(), "cd");
    READ_LINEEND(INPUT);
    EXPECT_EQ(READKEY(), 'x');
    EXPECT_EQ(trimmed_row(0), "ab");
    EXPECT_EQ(trimmed_row(1), "cd");
}

TEST_F(LineEntry, CtrlZEndsTheLineOnlyWithEofChecking) {
    CHECKEOF = true;
    memcon::push_script("ab{Ctrl+Z}");
    EXPECT_EQ(read(), "ab");
    EXPECT_EQ(line(), "ab\x1a");
    READ_LINEEND(INPUT);
    EXPECT_EQ(INPUT.fill, 2u);
}

// A device open for input whose transfer function hands out one scripted
// chunk per call, and an empty buffer once the chunks are used up.
std::vector<std::string> chunks;
size_t transfers, flushes;

uint16_t scripted_transfer(TEXTREC& f) {
    f.fill = 0;
    f.end = 0;
    if (transfers < chunks.size()) {
        const std::string& c = chunks[transfers];
        std::copy(c.begin(), c.end(), f.buffer);
        f.end = static_cast<uint32_t>(c.size());
    }
    ++transfers;
    return 0;
}
uint16_t counted_flush(TEXTREC&) {
    ++flushes;
    return 0;
}

struct Reads : ::testing::Test {
    TEXTREC dev{};
    void load(std::vector<std::string> c, TEXTMODE mode = MODE_INPUT) {
        TEXTDEV_RESET();
        chunks = std::move(c);
        transfers = flushes = 0;
        TEXT_CLEAR(dev);
        dev.mode = mode;
        dev.transferfunc = scripted_transfer;
        dev.flushfunc = counted_flush;
    }
};

TEST_F(Reads, StringUpToLineEndOrCapacity) {
    struct Case {
        const char* what;
        std::vector<std::string> chunks;
        uint8_t capacity;
        std::string text;
        uint32_t fill;
        size_t transfers;
    };
    const Case cases[] = {
        {"up to CR", {"hello\r\n"}, 255, "hello", 5, 1},
        {"capacity cuts", {"hello\r\n"}, 3, "hel", 3, 1},
        {"capacity 0", {"hello\r\n"}, 0, "", 0, 1},
        {"empty line", {"\r\n"}, 255, "", 0, 1},
        {"up to LF", {"ab\ncd"}, 255, "ab", 2, 1},
        {"up to 26", {"ab\x1a" "cd"}, 255, "ab", 2, 1},
        {"other control bytes copied", {"a\x01\x1f\t\x1b" "b\r"}, 255, "a\x01\x1f\t\x1b" "b", 6, 1},
        {"line over two transfers", {"abc", "def\r\n"}, 255, "abcdef", 3, 2},
        {"device runs dry", {"abc"}, 255, "abc", 0, 2},
        {"device gives nothing", {}, 255, "", 0, 2},
        {"255 over two transfers", {std::string(200, 'a'), std::string(100, 'b')}, 255,
         std::string(200, 'a') + std::string(55, 'b'), 55, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(c.chunks);
        PSTRING s{};
        s.len = 99;
        READ_PSTRING(dev, s, c.capacity);
        EXPECT_EQ(str(s), c.text);
        EXPECT_EQ(dev.fill, c.fill);
        EXPECT_EQ(transfers, c.transfers);
        EXPECT_EQ(INOUTRES, 0);
    }
}

TEST_F(Reads, LineEndSkipsThroughTheFirstLineEnd) {
    struct Case {
        const char* what;
        std::vector<std::string> chunks;
        uint32_t fill;
        size_t transfers, flushes;
    };
    const Case cases[] = {
        {"CR LF", {"ab\r\ncd"}, 4, 1, 0},
        {"LF", {"ab\ncd"}, 3, 1, 0},
        {"CR alone", {"ab\rcd"}, 3, 1, 0},
        {"CR then CR LF", {"ab\r\r\n"}, 3, 1, 0},
        {"26 first", {"\x1a\r\n"}, 0, 1, 0},
        {"26 ends the skip", {"ab\x1a\r\n"}, 2, 1, 0},
        {"26 after CR", {"a\r\x1a\n"}, 2, 1, 0},
        {"line end in the next transfer", {"abc", "\r\nx"}, 2, 2, 0},
        {"LF after CR in the next transfer", {"ab\r", "\nx"}, 1, 2, 0},
        {"no LF after CR in the next transfer", {"ab\r", "x"}, 0, 2, 0},
        {"device runs dry", {"ab"}, 0, 2, 1},
        {"device gives nothing", {}, 0, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(c.chunks);
        READ_LINEEND(dev);
        EXPECT_EQ(dev.fill, c.fill);
        EXPECT_EQ(transfers, c.transfers);
        EXPECT_EQ(flushes, c.flushes);
    }
}

TEST_F(Reads, NothingHappensOnAFailedCheck) {
    struct Case {
        TEXTMODE mode;
        uint16_t before, after;
    };
    const Case cases[] = {
        {MODE_OUTPUT, 0, 104},
        {MODE_CLOSED, 0, 103},
        {MODE_INPUT, 5, 5},
        {MODE_OUTPUT, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " result " << c.before);
        load({"ab\r\n"}, c.mode);
        INOUTRES = c.before;
        PSTRING s{};
        s.len = 9;
        READ_PSTRING(dev, s, 255);
        EXPECT_EQ(s.len, 0);
        EXPECT_EQ(INOUTRES, c.after);
        INOUTRES = c.before;
        READ_LINEEND(dev);
        EXPECT_EQ(INOUTRES, c.after);
        EXPECT_EQ(transfers, 0u);
        EXPECT_EQ(dev.fill, 0u);
    }
}

// A transfer function that claims more bytes than the buffer holds.
uint16_t oversized_transfer(TEXTREC& f) {
    f.fill = 0;
    f.end = transfers++ == 0 ? 5000 : 0;
    if (f.end) std::fill(f.buffer, f.buffer + TEXTBUFSIZE, 'a');
    return 0;
}

TEST_F(Reads, BufferEndBeyondTheBufferIsCut) {
    load({});
    dev.transferfunc = oversized_transfer;
    READ_LINEEND(dev);
    EXPECT_EQ(dev.fill, 0u);  // the next transfer emptied it
    EXPECT_EQ(flushes, 1u);

    load({});
    dev.transferfunc = oversized_transfer;
    PSTRING s{};
    READ_PSTRING(dev, s, 255);
    EXPECT_EQ(str(s), std::string(255, 'a'));
    READ_PSTRING(dev, s, 255);
    EXPECT_EQ(str(s), "a");
}

}  // namespace
