// Key events to the codes READKEY returns: the special-key codes of each
// modifier column, special keys, modifier keys and releases, the Alt +
// keypad composition and the polling of the key wait.
#include <gtest/gtest.h>

#include <vector>

#include "console/keyboard.h"
#include "platform/memory/memory_console.h"

namespace {

using namespace plat;

struct Keyboard : ::testing::Test {
    void SetUp() override {
        KEYBOARD_RESET();
        memcon::install(memcon::Setup{});
    }
};

struct RemapCase {
    uint8_t scan, mods, code;
};

TEST(RemapScanCode, EachColumnAndItsEdges) {
    const uint8_t LA = LEFT_ALT, RA = RIGHT_ALT, LC = LEFT_CTRL, RC = RIGHT_CTRL, SH = SHIFT;
    const RemapCase cases[] = {
        // Main block 1..=, Alt only.
        {1, LA, 1}, {2, LA, 120}, {13, RA, 131}, {14, LA, 14}, {2, LC, 2}, {2, SH, 2},
        // Tab, Enter, slash, keypad star.
        {15, LC, 148}, {15, RC, 148}, {15, SH, 15}, {15, LA, 15},
        {28, LA, 166}, {28, LC, 28}, {28, SH, 28},
        {53, LC, 149}, {53, RA, 164}, {53, SH, 53}, {53, 0, 53},
        {55, RC, 150}, {55, LA, 55},
        // F1..F10 and their neighbours.
        {59, 0, 59}, {59, SH, 84}, {68, SH, 93}, {59, LC, 94}, {68, RC, 103},
        {59, LA, 104}, {68, LA, 113}, {58, SH, 58}, {69, SH, 69}, {69, LA, 69},
        // Keypad and cursor block: Ctrl from its table, Alt +80 but for 74, 76, 78.
        {71, LC, 119}, {72, LC, 141}, {74, LC, 142}, {76, RC, 143}, {78, LC, 78}, {83, LC, 147},
        {70, LC, 70}, {84, LC, 84}, {71, SH, 71}, {75, 0, 75},
        {71, LA, 151}, {73, LA, 153}, {74, LA, 74}, {75, LA, 155}, {76, LA, 76},
        {77, RA, 157}, {78, LA, 78}, {79, LA, 159}, {83, LA, 163}, {70, LA, 70}, {84, LA, 84},
        // F11, F12 in every column.
        {87, 0, 133}, {88, 0, 134}, {87, SH, 135}, {88, SH, 136},
        {87, LC, 137}, {88, LC, 138}, {87, LA, 139}, {88, LA, 140}, {86, 0, 86}, {89, LA, 89},
        // The first group held decides: Alt, then Ctrl, then Shift.
        {59, LA | LC | SH, 104}, {59, LC | SH, 94}, {71, RC | SH, 119}, {88, RA | RC, 140},
        // Everything else passes unchanged.
        {30, LA, 30}, {0, 0, 0}, {255, LA, 255},
    };
    for (const RemapCase& c : cases)
        EXPECT_EQ(REMAPSCANCODE(c.scan, c.mods), c.code)
            << "scan " << int(c.scan) << " mods 0x" << std::hex << int(c.mods);
}

KeyEvent press(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t mods) {
    return {KEY_EVENT_KIND, true, 1, vk, scan, ch, mods};
}
KeyEvent release(uint16_t vk, uint16_t scan, uint8_t ch, uint32_t mods) {
    return {KEY_EVENT_KIND, false, 1, vk, scan, ch, mods};
}

struct KeyCase {
    const char* what;
    std::vector<KeyEvent> events;  // queued first
    const char* script;            // then these keys
    std::vector<int> codes;        // what READKEY returns, in order
};

// Events that a script cannot express.
const KeyEvent ALT_DOWN = press(18, 56, 0, LEFT_ALT);
const KeyEvent ALT_UP = release(18, 56, 0, 0);
const KeyEvent RALT_DOWN = press(18, 56, 0, RIGHT_ALT | ENHANCED);
const KeyEvent RALT_UP = release(18, 56, 0, ENHANCED);

TEST_F(Keyboard, EventsToCodes) {
    const KeyCase cases[] = {
        {"character", {}, "a", {'a'}},
        {"Enter", {}, "{Enter}", {13}},
        {"F1", {}, "{F1}", {0, 59}},
        {"Shift+F1", {}, "{Shift+F1}", {0, 84}},
        {"Ctrl+F1", {}, "{Ctrl+F1}", {0, 94}},
        {"Alt+F1", {}, "{Alt+F1}", {0, 104}},
        {"F12", {}, "{F12}", {0, 134}},
        {"Ctrl+Home", {}, "{Ctrl+Home}", {0, 119}},
        {"left Alt+Enter", {}, "{Alt+Enter}", {0, 166}},
        {"Alt+1", {}, "{Alt+1}", {0, 120}},
        {"Shift+Right", {}, "{Shift+Right}", {0, 77}},
        {"Tab", {}, "{Tab}", {9}},
        {"Shift+Tab", {}, "{Shift+Tab}", {0, 15}},
        {"keypad Enter", {}, "{KpEnter}{Ctrl+KpEnter}", {0, 28, 0, 28}},
        {"keypad slash", {}, "{KpSlash}{Shift+KpSlash}", {0, 53, 0, 53}},
        {"keypad 5 without Num Lock", {}, "{Kp5}", {0, 76}},
        {"right Alt on a character key", {}, "{RAlt+q}", {'q'}},
        {"left Alt on a character key", {}, "{Alt+q}", {0, 16}},
        {"special key with code 0 leaves nothing waiting", {}, "{Alt+\x82}x", {0, 'x'}},
        {"Alt on keypad minus is no digit", {}, "{Alt+KpMinus}", {0, 74}},
        {"modifier keys alone", {}, "{Shift}{Ctrl}{Alt}{CapsLock}{NumLock}{ScrollLock}x", {'x'}},
        {"releases alone", {release(65, 30, 'a', 0), ALT_UP, release(112, 59, 0, 0)}, "x", {'x'}},
        {"other kinds of event", {{2, true, 1, 65, 30, 'm', 0}, {16, true, 1, 0, 0, 0, 0}}, "x", {'x'}},
        {"composition 65", {}, "{Compose:65}", {65}},
        {"composition modulo 256", {}, "{Compose:300}", {44}},
        {"composition 256 delivers nothing", {}, "{Compose:256}z", {'z'}},
        {"composition 13", {}, "{Compose:13}", {13}},
        {"composition with leading zeros", {}, "{Compose:0065}", {65}},
        {"composition with right Alt",
         {RALT_DOWN, press(39, 77, 0, RIGHT_ALT), release(39, 77, 0, RIGHT_ALT),
          press(12, 76, 0, RIGHT_ALT), release(12, 76, 0, RIGHT_ALT), RALT_UP},
         "",
         {65}},
        {"enhanced Home counts as keypad 7 under Alt",
         {ALT_DOWN, press(36, 71, 0, LEFT_ALT | ENHANCED), release(36, 71, 0, LEFT_ALT | ENHANCED), ALT_UP},
         "",
         {7}},
        {"a composition whose Alt release was lost goes on",
         {ALT_DOWN, press(35, 79, 0, LEFT_ALT), release(35, 79, 0, LEFT_ALT)},
         "{Compose:2}",
         {12}},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.what);
        KEYBOARD_RESET();
        memcon::install(memcon::Setup{});
        for (const KeyEvent& ev : c.events) memcon::push_event(ev);
        memcon::push_script(c.script);
        for (int code : c.codes) EXPECT_EQ(READKEY(), code);
        // Nothing more: the rest of the queue yields no key.
        EXPECT_FALSE(KEYPRESSED());
        EXPECT_EQ(memcon::queued_events(), 0u);
    }
}

TEST_F(Keyboard, KeyPressedTakesEventsOnlyUpToTheFirstKey) {
    EXPECT_FALSE(KEYPRESSED());  // empty queue: no wait
    memcon::push_script("{Shift}ab");
    EXPECT_TRUE(KEYPRESSED());
    EXPECT_EQ(memcon::queued_events(), 3u);  // a's release and b stay
    EXPECT_TRUE(KEYPRESSED());               // a is waiting: the queue is not read
    EXPECT_EQ(memcon::queued_events(), 3u);
    EXPECT_EQ(READKEY(), 'a');
    EXPECT_EQ(READKEY(), 'b');
    EXPECT_EQ(memcon::sleeps(), 0);
}

TEST_F(Keyboard, SpecialKeyLeavesItsCodeWaiting) {
    memcon::push_script("{F12}x");
    EXPECT_EQ(READKEY(), 0);
    size_t queued = memcon::queued_events();
    EXPECT_TRUE(KEYPRESSED());
    EXPECT_EQ(memcon::queued_events(), queued);
    EXPECT_EQ(READKEY(), 134);
    EXPECT_EQ(READKEY(), 'x');
}

TEST_F(Keyboard, KeyWaitPollsFirstThenSleepsOneMillisecondPerEmptyPoll) {
    memcon::push_script("a");
    EXPECT_EQ(READKEY(), 'a');
    EXPECT_EQ(memcon::sleeps(), 0);

    // A modifier press arrives first and does not end the wait.
    memcon::push_after_sleeps(2, press(16, 42, 0, SHIFT));
    memcon::push_after_sleeps(5, press(66, 48, 'b', 0));
    EXPECT_EQ(READKEY(), 'b');
    EXPECT_EQ(memcon::sleeps(), 5);
}

}  // namespace
