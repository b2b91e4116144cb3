// The terminal key decoder and the redirected-input decoder: byte sequences
// of each terminal family to key events, timing of a lone Esc, malformed and
// unknown input, and a randomized check that no byte stream breaks the
// decoder and that splitting a stream into reads changes nothing.
#include "platform/posix/keydecode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

using plat::ENHANCED;
using plat::KeyEvent;
using plat::LEFT_ALT;
using plat::LEFT_CTRL;
using plat::RIGHT_ALT;
using plat::SHIFT;

namespace {

// The fields a key event is judged by.
struct Ev {
    uint16_t vk;
    uint16_t scan;
    uint8_t ch;
    uint32_t mods;
    bool operator==(const Ev&) const = default;
};

std::string show(const std::vector<Ev>& v) {
    std::string s;
    char buf[64];
    for (const Ev& e : v) {
        std::snprintf(buf, sizeof buf, "{vk %u scan %u ch %u mods %#x} ", e.vk, e.scan, e.ch, e.mods);
        s += buf;
    }
    return s.empty() ? "(none)" : s;
}

void take(const keydecode::Out& o, std::vector<Ev>* v) {
    ASSERT_LT(o.n, keydecode::MAX_OUT);  // room to spare: nothing can be dropped
    for (int i = 0; i < o.n; ++i) {
        const KeyEvent& e = o.ev[i];
        EXPECT_EQ(e.kind, plat::KEY_EVENT_KIND);
        EXPECT_TRUE(e.down);
        // A key with neither character nor scan code would read as a
        // special key of code 0 and swallow the key after it.
        EXPECT_TRUE(e.ch != 0 || e.scan != 0);
        v->push_back({e.vk, e.scan, e.ch, e.mods});
    }
}

// All bytes read at time 0, then time passes.
std::vector<Ev> decode(const std::string& bytes) {
    keydecode::Terminal t;
    keydecode::reset(&t);
    std::vector<Ev> v;
    for (char c : bytes) {
        keydecode::Out o{};
        keydecode::feed(&t, static_cast<uint8_t>(c), 0, &o);
        take(o, &v);
    }
    keydecode::Out o{};
    keydecode::tick(&t, 1000, &o);
    take(o, &v);
    EXPECT_FALSE(keydecode::pending(&t));
    return v;
}

// Keys as the decoder reports them.
const Ev UP{38, 72, 0, ENHANCED}, DOWN{40, 80, 0, ENHANCED}, RIGHT{39, 77, 0, ENHANCED},
    LEFT{37, 75, 0, ENHANCED}, HOME{36, 71, 0, ENHANCED}, END{35, 79, 0, ENHANCED},
    INS{45, 82, 0, ENHANCED}, DEL{46, 83, 0, ENHANCED}, PGUP{33, 73, 0, ENHANCED},
    PGDN{34, 81, 0, ENHANCED}, KP5{12, 76, 0, 0}, ENTER{13, 28, 13, 0}, ESC{27, 1, 27, 0},
    BKSP{8, 14, 8, 0}, TAB{9, 15, 9, 0};
Ev F(int n) {
    return {static_cast<uint16_t>(0x6F + n), static_cast<uint16_t>(n <= 10 ? 58 + n : 76 + n), 0, 0};
}
Ev with(Ev e, uint32_t mods) {
    e.mods |= mods;
    return e;
}
Ev ch(char c, uint16_t vk, uint16_t scan, uint32_t mods = 0) {
    return {vk, scan, static_cast<uint8_t>(c), mods};
}

struct Case {
    const char* bytes;
    std::vector<Ev> want;
};

void check_table(const std::vector<Case>& table) {
    for (const Case& c : table) {
        std::vector<Ev> got = decode(c.bytes);
        EXPECT_EQ(got, c.want) << "bytes " << ::testing::PrintToString(std::string(c.bytes))
                               << "\n got  " << show(got) << "\n want " << show(c.want);
    }
}

}  // namespace

TEST(KeyDecode, XtermAndVte) {
    check_table({
        {"\x1b[A", {UP}}, {"\x1b[B", {DOWN}}, {"\x1b[C", {RIGHT}}, {"\x1b[D", {LEFT}},
        {"\x1bOA", {UP}}, {"\x1bOD", {LEFT}},  // application cursor keys
        {"\x1b[H", {HOME}}, {"\x1b[F", {END}}, {"\x1bOH", {HOME}}, {"\x1bOF", {END}},
        {"\x1b[E", {KP5}}, {"\x1bOE", {KP5}},
        {"\x1b[2~", {INS}}, {"\x1b[3~", {DEL}}, {"\x1b[5~", {PGUP}}, {"\x1b[6~", {PGDN}},
        {"\x1bOP", {F(1)}}, {"\x1bOQ", {F(2)}}, {"\x1bOR", {F(3)}}, {"\x1bOS", {F(4)}},
        {"\x1b[15~", {F(5)}}, {"\x1b[17~", {F(6)}}, {"\x1b[18~", {F(7)}}, {"\x1b[19~", {F(8)}},
        {"\x1b[20~", {F(9)}}, {"\x1b[21~", {F(10)}}, {"\x1b[23~", {F(11)}}, {"\x1b[24~", {F(12)}},
        // Modifier parameters: 2 Shift, 3 Alt, 5 Ctrl and their sums, 9 Meta.
        {"\x1b[1;2C", {with(RIGHT, SHIFT)}}, {"\x1b[1;3D", {with(LEFT, LEFT_ALT)}},
        {"\x1b[1;5H", {with(HOME, LEFT_CTRL)}}, {"\x1b[1;5F", {with(END, LEFT_CTRL)}},
        {"\x1b[1;6A", {with(UP, LEFT_CTRL | SHIFT)}}, {"\x1b[1;7B", {with(DOWN, LEFT_CTRL | LEFT_ALT)}},
        {"\x1b[1;8C", {with(RIGHT, LEFT_CTRL | LEFT_ALT | SHIFT)}}, {"\x1b[1;9D", {with(LEFT, LEFT_ALT)}},
        {"\x1b[1;2P", {with(F(1), SHIFT)}}, {"\x1b[1;5P", {with(F(1), LEFT_CTRL)}},
        {"\x1b[1;3P", {with(F(1), LEFT_ALT)}}, {"\x1b[1;2S", {with(F(4), SHIFT)}},
        {"\x1b[15;2~", {with(F(5), SHIFT)}}, {"\x1b[24;5~", {with(F(12), LEFT_CTRL)}},
        {"\x1b[3;5~", {with(DEL, LEFT_CTRL)}}, {"\x1b[6;3~", {with(PGDN, LEFT_ALT)}},
        {"\x1bO2P", {with(F(1), SHIFT)}},  // older xterm: modifier inside SS3
        {"\x1b[Z", {ch('\t', 9, 15, SHIFT)}},
        // Keypad in application mode.
        {"\x1bOM", {with(ENTER, ENHANCED)}}, {"\x1bOo", {ch('/', 0x6F, 53, ENHANCED)}},
        {"\x1bOj", {ch('*', 0x6A, 55)}}, {"\x1bOp", {ch('0', 0x60, 82)}}, {"\x1bOy", {ch('9', 0x69, 73)}},
    });
}

TEST(KeyDecode, Vt220) {
    check_table({
        {"\x1b[1~", {HOME}}, {"\x1b[4~", {END}},  // Find, Select
        {"\x1b[2~", {INS}}, {"\x1b[3~", {DEL}}, {"\x1b[5~", {PGUP}}, {"\x1b[6~", {PGDN}},
        {"\x1bOP", {F(1)}}, {"\x1bOS", {F(4)}},  // PF1-PF4
        {"\x1b[11~", {F(1)}}, {"\x1b[12~", {F(2)}}, {"\x1b[13~", {F(3)}}, {"\x1b[14~", {F(4)}},
        {"\x1b[17~", {F(6)}}, {"\x1b[21~", {F(10)}}, {"\x1b[23~", {F(11)}}, {"\x1b[24~", {F(12)}},
        {"\x1b[1;5~", {with(HOME, LEFT_CTRL)}},
    });
}

TEST(KeyDecode, Rxvt) {
    check_table({
        {"\x1b[11~", {F(1)}}, {"\x1b[15~", {F(5)}}, {"\x1b[7~", {HOME}}, {"\x1b[8~", {END}},
        {"\x1b[a", {with(UP, SHIFT)}}, {"\x1b[b", {with(DOWN, SHIFT)}},
        {"\x1b[c", {with(RIGHT, SHIFT)}}, {"\x1b[d", {with(LEFT, SHIFT)}},
        {"\x1bOa", {with(UP, LEFT_CTRL)}}, {"\x1bOd", {with(LEFT, LEFT_CTRL)}},
        // Modifiers in the last byte: $ Shift, ^ Ctrl, @ Ctrl+Shift.
        {"\x1b[2$", {with(INS, SHIFT)}}, {"\x1b[7^", {with(HOME, LEFT_CTRL)}},
        {"\x1b[8$", {with(END, SHIFT)}}, {"\x1b[11^", {with(F(1), LEFT_CTRL)}},
        {"\x1b[23$", {with(F(11), SHIFT)}}, {"\x1b[3@", {with(DEL, LEFT_CTRL | SHIFT)}},
        // F13-F20: Shift+F3 to Shift+F10.
        {"\x1b[25~", {with(F(3), SHIFT)}}, {"\x1b[26~", {with(F(4), SHIFT)}},
        {"\x1b[28~", {with(F(5), SHIFT)}}, {"\x1b[34~", {with(F(10), SHIFT)}},
    });
}

TEST(KeyDecode, LinuxConsole) {
    check_table({
        {"\x1b[[A", {F(1)}}, {"\x1b[[B", {F(2)}}, {"\x1b[[C", {F(3)}}, {"\x1b[[D", {F(4)}},
        {"\x1b[[E", {F(5)}}, {"\x1b[17~", {F(6)}}, {"\x1b[24~", {F(12)}},
        {"\x1b[1~", {HOME}}, {"\x1b[4~", {END}}, {"\x1b[2~", {INS}}, {"\x1b[3~", {DEL}},
        {"\x1b[A", {UP}}, {"\x1b[G", {KP5}},
        {"\x1b[23~", {F(11)}},  // also its Shift+F1
        {"\x1b[31~", {with(F(7), SHIFT)}},
        {"\x7f", {BKSP}},
        {"\x1bx", {ch('x', 'X', 45, LEFT_ALT)}},  // Alt as an Esc prefix
        {"\x1b\x1b[[A", {with(F(1), LEFT_ALT)}},
    });
}

TEST(KeyDecode, TmuxAndScreen) {
    check_table({
        {"\x1b[1~", {HOME}}, {"\x1b[4~", {END}}, {"\x1b[D", {LEFT}}, {"\x1bOA", {UP}},
        {"\x1bOP", {F(1)}}, {"\x1b[1;5D", {with(LEFT, LEFT_CTRL)}}, {"\x1b[1;2P", {with(F(1), SHIFT)}},
        {"\x1b[5;5~", {with(PGUP, LEFT_CTRL)}},
        {"\x7f", {BKSP}}, {"\r", {ENTER}}, {"\x03", {ch(3, 'C', 46, LEFT_CTRL)}},
        {"\x1b\x1b[A", {with(UP, LEFT_ALT)}},  // M-Up
    });
}

TEST(KeyDecode, CharactersAndControlKeys) {
    check_table({
        {"a", {ch('a', 'A', 30)}}, {"A", {ch('A', 'A', 30, SHIFT)}}, {"z", {ch('z', 'Z', 44)}},
        {"1", {ch('1', '1', 2)}}, {"!", {ch('!', '1', 2, SHIFT)}}, {"0", {ch('0', '0', 11)}},
        {" ", {ch(' ', ' ', 57)}}, {"/", {ch('/', 0xBF, 53)}}, {"?", {ch('?', 0xBF, 53, SHIFT)}},
        {"~", {ch('~', 0xC0, 41, SHIFT)}}, {"\\", {ch('\\', 0xDC, 43)}}, {"=", {ch('=', 0xBB, 13)}},
        {"\r", {ENTER}}, {"\x7f", {BKSP}}, {"\b", {BKSP}}, {"\t", {TAB}},
        {"\x01", {ch(1, 'A', 30, LEFT_CTRL)}}, {"\x13", {ch(19, 'S', 31, LEFT_CTRL)}},
        {"\x19", {ch(25, 'Y', 21, LEFT_CTRL)}}, {"\x1a", {ch(26, 'Z', 44, LEFT_CTRL)}},
        {"\n", {ch(10, 'J', 36, LEFT_CTRL)}}, {"\x1c", {ch(28, 0xDC, 43, LEFT_CTRL)}},
        {"abc", {ch('a', 'A', 30), ch('b', 'B', 48), ch('c', 'C', 46)}},
        // UTF-8 to code page 852; '?' for a character it lacks.
        {"\xc3\xa9", {ch(static_cast<char>(0x82), 0, 0)}},          // é
        {"\xc5\x91", {ch(static_cast<char>(0x8B), 0, 0)}},          // ő
        {"\xc5\xb0", {ch(static_cast<char>(0xEB), 0, 0)}},          // Ű
        {"\xe2\x94\x80", {ch(static_cast<char>(0xC4), 0, 0)}},      // ─
        {"\xe2\x82\xac", {ch('?', 0, 0)}},                          // €
        {"\xf0\x9f\x98\x80", {ch('?', 0, 0)}},                      // an emoji
    });
}

TEST(KeyDecode, NulIsCtrlSpace) {
    EXPECT_EQ(decode(std::string("\0", 1)), (std::vector<Ev>{{0x20, 57, 0, LEFT_CTRL}}));
}

TEST(KeyDecode, EscAndAlt) {
    check_table({
        {"\x1b", {ESC}},
        {"\x1b\x1b", {ESC, ESC}},
        {"\x1b\x1b\x1b", {ESC, ESC, ESC}},
        {"\x1b\x1bx", {ESC, ch('x', 'X', 45, LEFT_ALT)}},
        {"\x1b" "1", {ch('1', '1', 2, LEFT_ALT)}},
        {"\x1b\r", {with(ENTER, LEFT_ALT)}},
        {"\x1b\x7f", {with(BKSP, LEFT_ALT)}},
        {"\x1b\x01", {ch(1, 'A', 30, LEFT_CTRL | LEFT_ALT)}},
        {"\x1b\x1b[A", {with(UP, LEFT_ALT)}},
        // ESC [ and ESC O that nothing follows are Alt+[ and Alt+O.
        {"\x1b[", {ch('[', 0xDB, 26, LEFT_ALT)}},
        {"\x1bO", {ch('O', 'O', 24, SHIFT | LEFT_ALT)}},
        {"\x1b\x1b[", {ESC, ch('[', 0xDB, 26, LEFT_ALT)}},
        // With Alt a character outside ASCII stays a character (as AltGr gives one).
        {"\x1b\xc3\xa9", {ch(static_cast<char>(0x82), 0, 0, RIGHT_ALT)}},
    });
}

TEST(KeyDecode, MalformedUtf8) {
    const Ev Q = ch('?', 0, 0);
    check_table({
        {"\x80", {Q}}, {"\xbf" "a", {Q, ch('a', 'A', 30)}}, {"\xff", {Q}}, {"\xfe\xfe", {Q, Q}},
        {"\xc3" "a", {Q, ch('a', 'A', 30)}},              // cut off by ASCII
        {"\xc3", {Q}},                                    // cut off by time
        {"\xe2\x94", {Q}},
        {"\xc3\x1b[A", {Q, UP}},                          // cut off by a sequence
        {"\xc3\xc3\xa9", {Q, ch(static_cast<char>(0x82), 0, 0)}},
        {"\xc0\xaf", {Q, Q}},                             // overlong '/'
        {"\xe0\x80\xaf", {Q}},                            // overlong
        {"\xed\xa0\x80", {Q}},                            // surrogate
        {"\xf4\x90\x80\x80", {Q}},                        // beyond U+10FFFF
        {"\xc2\x80", {Q}},                                // C1 control: not in the code page
    });
}

TEST(KeyDecode, UnknownSequencesAreSwallowedWhole) {
    const Ev X = ch('x', 'X', 45);
    check_table({
        {"\x1b[?1;2cx", {X}},          // device attributes reply
        {"\x1b[>0;276;0cx", {X}},
        {"\x1b[?1;2$yx", {X}},         // mode report, '$' as an intermediate
        {"\x1b[200~x", {X}},           // bracketed paste marker
        {"\x1b[99~x", {X}}, {"\x1b[~x", {X}}, {"\x1b[@x", {X}},
        {"\x1b[1;2;3Ax", {X}},
        {"\x1b[27;5;13~x", {X}},       // modifyOtherKeys
        {"\x1b[97;5ux", {X}},          // CSI u
        {"\x1b[1:2Ax", {X}},           // sub-parameters
        {"\x1b[5 qx", {X}},            // intermediate byte
        {"\x1bOzx", {X}},
        {"\x1b[[Zx", {X}}, {"\x1b[[1Ax", {X}},
        {"\x1b[99999999999999999999Ax", {X}}, {"\x1b[1;99Ax", {X}}, {"\x1b[3;17~x", {X}},
        // A control byte or Esc cuts a sequence off; the byte is a key of its own.
        {"\x1b[1\r", {ENTER}}, {"\x1b[1;\x7f", {BKSP}}, {"\x1b[12\x1b[B", {DOWN}},
        {"\x1b[1\xc3\xa9", {ch(static_cast<char>(0x82), 0, 0)}},
    });
}

TEST(KeyDecode, NeverEndingSequenceStaysBounded) {
    keydecode::Terminal t;
    keydecode::reset(&t);
    std::vector<Ev> v;
    uint64_t now = 0;
    for (int i = 0; i < 100000; ++i) {
        keydecode::Out o{};
        keydecode::feed(&t, static_cast<uint8_t>(i == 0 ? 27 : i == 1 ? '[' : "0123456789;"[i % 11]),
                        now += i % 3 == 0 ? 1 : 0, &o);
        take(o, &v);
    }
    EXPECT_TRUE(v.empty()) << show(v);
    keydecode::Out o{};
    keydecode::feed(&t, 'A', now, &o);  // its end: dropped, it is none of ours
    take(o, &v);
    keydecode::feed(&t, 'x', now, &o);
    take(o, &v);
    EXPECT_EQ(v, (std::vector<Ev>{ch('x', 'X', 45)}));
}

namespace {
// Bytes fed one by one at the given times, then time runs on.
std::vector<Ev> timed(const std::vector<std::pair<uint64_t, std::string>>& reads,
                      const std::vector<uint64_t>& ticks = {}) {
    keydecode::Terminal t;
    keydecode::reset(&t);
    std::vector<Ev> v;
    size_t ti = 0;
    for (const auto& [when, bytes] : reads) {
        for (; ti < ticks.size() && ticks[ti] < when; ++ti) {
            keydecode::Out o{};
            keydecode::tick(&t, ticks[ti], &o);
            take(o, &v);
        }
        for (char c : bytes) {
            keydecode::Out o{};
            keydecode::feed(&t, static_cast<uint8_t>(c), when, &o);
            take(o, &v);
        }
    }
    keydecode::Out o{};
    keydecode::tick(&t, 1000000, &o);
    take(o, &v);
    return v;
}
}  // namespace

TEST(KeyDecode, LoneEscIsDecidedByTime) {
    const uint64_t T = keydecode::ESC_TIMEOUT_MS;
    const Ev ALT_X = ch('x', 'X', 45, LEFT_ALT), X = ch('x', 'X', 45);
    // The next byte within the timeout: Alt + key; at or after it: Esc, then the key.
    EXPECT_EQ(timed({{0, "\x1b"}, {T - 1, "x"}}), (std::vector<Ev>{ALT_X}));
    EXPECT_EQ(timed({{0, "\x1b"}, {T, "x"}}), (std::vector<Ev>{ESC, X}));
    EXPECT_EQ(timed({{0, "\x1b"}, {T + 500, "\x1b[A"}}), (std::vector<Ev>{ESC, UP}));
    // A poll before the timeout leaves the Esc waiting; one at the timeout delivers it.
    keydecode::Terminal t;
    keydecode::reset(&t);
    keydecode::Out o{};
    keydecode::feed(&t, 27, 100, &o);
    keydecode::tick(&t, 100 + T - 1, &o);
    EXPECT_EQ(o.n, 0);
    EXPECT_TRUE(keydecode::pending(&t));
    keydecode::tick(&t, 100 + T, &o);
    std::vector<Ev> v;
    take(o, &v);
    EXPECT_EQ(v, (std::vector<Ev>{ESC}));
    // A sequence split over reads within the timeout is still one key; the
    // time counts from its last byte.
    EXPECT_EQ(timed({{0, "\x1b"}, {T - 1, "["}, {2 * T - 2, "1;5"}, {3 * T - 3, "H"}}),
              (std::vector<Ev>{with(HOME, LEFT_CTRL)}));
    // A sequence cut off by time is dropped; what comes later is typed.
    EXPECT_EQ(timed({{0, "\x1b[1;5"}, {T, "H"}}), (std::vector<Ev>{ch('H', 'H', 35, SHIFT)}));
    // An unfinished UTF-8 character times out as '?'.
    EXPECT_EQ(timed({{0, "\xc3"}, {T, "\xa9"}}), (std::vector<Ev>{ch('?', 0, 0), ch('?', 0, 0)}));
}

// Random streams: pieces of real sequences, text, control bytes and noise.
TEST(KeyDecode, RandomStreamsDecodeTheSameHoweverSplit) {
    const std::vector<std::string> pieces = {
        "\x1b[A", "\x1bOP", "\x1b[1;5H", "\x1b[15;2~", "\x1b[[A", "\x1b[7^", "\x1b[2$", "\x1b",
        "\x1b[", "\x1bO", "\x1b\x1b", "\x1b[?1;2c", "\x1b[1", ";", "~", "\r", "\x7f", "\t", "a",
        "Z", "\xc3\xa9", "\xc5\x91", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xc3", "\x80", "\xff",
        "[", "O", "1", "\x03", "\x1a", "\n"};
    std::mt19937 rng(20240611);
    const uint64_t T = keydecode::ESC_TIMEOUT_MS;
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        int n = static_cast<int>(rng() % 40);
        for (int i = 0; i < n; ++i) {
            if (rng() % 4 == 0) s += static_cast<char>(rng() % 256);
            else s += pieces[rng() % pieces.size()];
        }
        std::vector<Ev> whole = decode(s);
        // The same bytes in reads of random sizes, each within the timeout
        // of the one before, with polls in between.
        keydecode::Terminal t;
        keydecode::reset(&t);
        std::vector<Ev> split;
        uint64_t now = 1000;
        size_t pos = 0;
        while (pos < s.size()) {
            size_t len = 1 + rng() % 6;
            for (size_t i = pos; i < pos + len && i < s.size(); ++i) {
                keydecode::Out o{};
                keydecode::feed(&t, static_cast<uint8_t>(s[i]), now, &o);
                take(o, &split);
            }
            pos += len;
            uint64_t gap = rng() % T;
            if (rng() % 2) {
                keydecode::Out o{};
                keydecode::tick(&t, now + rng() % (gap + 1), &o);
                take(o, &split);
            }
            now += gap;
        }
        keydecode::Out o{};
        keydecode::tick(&t, now + T, &o);
        take(o, &split);
        ASSERT_FALSE(keydecode::pending(&t));
        ASSERT_EQ(split, whole) << "stream " << ::testing::PrintToString(s) << "\n split " << show(split)
                                << "\n whole " << show(whole);
    }
}

namespace {
std::vector<Ev> stream_decode(const std::vector<std::string>& reads) {
    keydecode::Stream s;
    keydecode::reset(&s);
    std::vector<Ev> v;
    for (const std::string& r : reads)
        for (char c : r) {
            keydecode::Out o{};
            keydecode::feed(&s, static_cast<uint8_t>(c), &o);
            take(o, &v);
        }
    keydecode::Out o{};
    keydecode::flush(&s, &o);
    take(o, &v);
    return v;
}
}  // namespace

TEST(StreamDecode, BytesAreTypedCharactersAndLineEndsAreEnter) {
    const Ev A = ch('a', 'A', 30), B = ch('b', 'B', 48), Q = ch('?', 0, 0);
    struct StreamCase {
        std::vector<std::string> reads;
        std::vector<Ev> want;
    };
    const std::vector<StreamCase> cases = {
        {{"ab\r\n"}, {A, B, ENTER}},
        {{"ab\n"}, {A, B, ENTER}},
        {{"a\r\rb"}, {A, ENTER, ENTER, B}},
        {{"a\n\nb"}, {A, ENTER, ENTER, B}},
        {{"a\r", "\nb"}, {A, ENTER, B}},            // CR LF split over two reads
        {{"a\n\r"}, {A, ENTER, ENTER}},             // LF CR is two line ends
        {{"a\x1a" "b"}, {A, ENTER, B}},
        {{"\xc3\xa9\xe2\x82\xac"}, {ch(static_cast<char>(0x82), 0, 0), Q}},
        {{"\xc3", "\xa9"}, {ch(static_cast<char>(0x82), 0, 0)}},  // split character
        {{"\xc3"}, {Q}},                            // cut off by the end of input
        {{"\xc3\r"}, {Q, ENTER}},
        {{"\xff"}, {Q}},
        {{"\x7f"}, {ch(127, 8, 14, LEFT_CTRL)}},     // the character 127, stored as typed
        {{"\b\t"}, {BKSP, TAB}},
        {{"\x1b[A"}, {ESC, ch('[', 0xDB, 26), ch('A', 'A', 30, SHIFT)}},  // no sequences here
    };
    for (const StreamCase& c : cases) {
        std::vector<Ev> got = stream_decode(c.reads);
        EXPECT_EQ(got, c.want) << ::testing::PrintToString(c.reads) << "\n got  " << show(got)
                               << "\n want " << show(c.want);
    }
    KeyEvent e = keydecode::enter_key();
    EXPECT_EQ((Ev{e.vk, e.scan, e.ch, e.mods}), ENTER);
}
