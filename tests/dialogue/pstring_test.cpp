// Concatenation into length-prefixed strings: cuts, capacity and operands
// that are the destination itself.
#include <gtest/gtest.h>

#include <string>

#include "dialogue/pstring.h"

namespace {

PSTRING ps(const std::string& s) {
    PSTRING p{};
    p.len = static_cast<uint8_t>(s.size());
    for (size_t i = 0; i < s.size(); ++i) p.ch[i] = static_cast<uint8_t>(s[i]);
    return p;
}
std::string str(const PSTRING& p) { return std::string(reinterpret_cast<const char*>(p.ch), p.len); }

enum class Dest { Other, A, B };

struct Case {
    const char* name;
    std::string a, b;
    uint8_t cap;
    Dest dest;
    std::string want;
};

const Case cases[] = {
    {"plain", "ab", "cde", 255, Dest::Other, "abcde"},
    {"into_b_shifts_b", "x", "abc", 255, Dest::B, "xabc"},
    {"into_a_appends", "ab", "cd", 255, Dest::A, "abcd"},
    {"empty_b", "q", "", 255, Dest::B, "q"},
    {"b_cut_at_its_end", "abc", "defgh", 5, Dest::Other, "abcde"},
    {"b_cut_into_b", "a", "bcdef", 4, Dest::B, "abcd"},
    {"b_cut_into_a", "ab", "cdef", 3, Dest::A, "abc"},
    {"a_fills_capacity", "abc", "de", 3, Dest::Other, "abc"},
};

TEST(Concat, Cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PSTRING a = ps(c.a), b = ps(c.b), other{};
        PSTRING& dest = c.dest == Dest::A ? a : c.dest == Dest::B ? b : other;
        PSTR_CONCAT(dest, c.cap, a, b);
        EXPECT_EQ(str(dest), c.want);
    }
}

// The dialogue's use: one character in front, 255 times, into the second
// operand; the overlap must lose nothing.
TEST(Concat, PrependingEveryCharacterReversesAFullString) {
    std::string word;
    for (int i = 0; i < 255; ++i) word += static_cast<char>(1 + i);
    PSTRING acc{};
    for (char ch : word) PSTR_CONCAT(acc, 255, ps(std::string(1, ch)), acc);
    EXPECT_EQ(str(acc), std::string(word.rbegin(), word.rend()));
    // A 256th character does not fit: the old string is cut at its end.
    PSTR_CONCAT(acc, 255, ps("Z"), acc);
    EXPECT_EQ(acc.len, 255);
    EXPECT_EQ(acc.ch[0], 'Z');
    EXPECT_EQ(acc.ch[254], 2);
}

TEST(Concat, SameStringAsBothOperands) {
    PSTRING s = ps("abc");
    PSTR_CONCAT(s, 255, s, s);
    EXPECT_EQ(str(s), "abcabc");
}

}  // namespace
