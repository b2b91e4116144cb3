// Terminal bytes through the key decoder and then the console device's
// READKEY: the codes the device's users see for the keys of each terminal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/keyboard.h"
#include "platform/memory/memory_console.h"
#include "platform/posix/keydecode.h"

namespace {

// Decodes the bytes (all read at once, then the Esc timeout passes) into the
// in-memory console's queue.
void type(const std::string& bytes) {
    keydecode::Terminal t;
    keydecode::reset(&t);
    keydecode::Out o{};
    auto push = [&] {
        for (int i = 0; i < o.n; ++i) memcon::push_event(o.ev[i]);
        o.n = 0;
    };
    for (char c : bytes) {
        keydecode::feed(&t, static_cast<uint8_t>(c), 0, &o);
        push();
    }
    keydecode::tick(&t, keydecode::ESC_TIMEOUT_MS, &o);
    push();
}

struct Case {
    const char* name;
    const char* bytes;
    std::vector<int> codes;  // what READKEY returns, in order; nothing after them
};

const Case CASES[] = {
    {"enter", "\r", {13}},
    {"backspace 127", "\x7f", {8}},
    {"backspace 8", "\b", {8}},
    {"tab", "\t", {9}},
    {"shift tab", "\x1b[Z", {0, 15}},
    {"esc", "\x1b", {27}},
    {"letters", "aZ", {'a', 'Z'}},
    {"ctrl letters", "\x13\x19\x1a\x03", {19, 25, 26, 3}},
    {"ctrl j", "\n", {10}},
    {"utf-8 to code page 852", "\xc3\xa9\xc5\x91\xe2\x82\xac", {0x82, 0x8B, '?'}},
    {"alt e acute is the character", "\x1b\xc3\xa9", {0x82}},
    {"left right home end", "\x1b[D\x1b[C\x1b[H\x1b[F", {0, 75, 0, 77, 0, 71, 0, 79}},
    {"ss3 cursor", "\x1bOD\x1bOH\x1bOF", {0, 75, 0, 71, 0, 79}},
    {"home end as 1~ 4~ 7~ 8~", "\x1b[1~\x1b[4~\x1b[7~\x1b[8~", {0, 71, 0, 79, 0, 71, 0, 79}},
    {"ins del pgup pgdn", "\x1b[2~\x1b[3~\x1b[5~\x1b[6~", {0, 82, 0, 83, 0, 73, 0, 81}},
    {"f1 xterm", "\x1bOP", {0, 59}},
    {"f1 rxvt", "\x1b[11~", {0, 59}},
    {"f1 linux", "\x1b[[A", {0, 59}},
    {"shift f1", "\x1b[1;2P", {0, 84}},
    {"ctrl f1", "\x1b[1;5P", {0, 94}},
    {"ctrl f1 rxvt", "\x1b[11^", {0, 94}},
    {"alt f1", "\x1b[1;3P", {0, 104}},
    {"alt f1 by esc prefix", "\x1b\x1bOP", {0, 104}},
    {"f10", "\x1b[21~", {0, 68}},
    {"f11 f12", "\x1b[23~\x1b[24~", {0, 133, 0, 134}},
    {"shift f5", "\x1b[15;2~", {0, 88}},
    {"shift f3 rxvt", "\x1b[25~", {0, 86}},
    {"ctrl f12", "\x1b[24;5~", {0, 138}},
    {"ctrl home", "\x1b[1;5H", {0, 119}},
    {"ctrl left right", "\x1b[1;5D\x1b[1;5C", {0, 115, 0, 116}},
    {"shift right", "\x1b[1;2C", {0, 77}},
    {"alt enter", "\x1b\r", {0, 166}},
    {"alt 1", "\x1b" "1", {0, 120}},
    {"alt letter", "\x1bx", {0, 45}},
    {"keypad enter", "\x1bOM", {0, 28}},
    {"keypad slash", "\x1bOo", {0, 53}},
    // With Alt a cursor key is a keypad digit of a composition: no key.
    {"alt up", "\x1b[1;3A", {}},
    {"unknown sequence", "\x1b[?1;2c", {}},
};

}  // namespace

TEST(KeyReadkey, TerminalKeysGiveTheDeviceCodes) {
    for (const Case& c : CASES) {
        memcon::install(memcon::Setup{});
        KEYBOARD_RESET();
        type(c.bytes);
        std::vector<int> got;
        for (size_t i = 0; i < c.codes.size(); ++i) got.push_back(READKEY());
        EXPECT_EQ(got, c.codes) << c.name;
        EXPECT_FALSE(KEYPRESSED()) << c.name << ": a key is left over";
    }
}
