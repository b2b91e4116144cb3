// The dialogue from the set-up to the key wait on an 80x24 in-memory
// console: the window it leaves for a table of words, against a model of
// the transcript wrapped and scrolled as the screen shows it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/textdev.h"
#include "dialogue/dialogue.h"
#include "platform/memory/memory_console.h"

namespace {

constexpr int W = 80, H = 24;

void check_ok() { ASSERT_EQ(INOUTRES, 0); }

std::string text(const uint8_t* t, size_t n) { return std::string(reinterpret_cast<const char*>(t), n); }

// The screen rows that the transcript's lines fill: each line wraps at the
// window's width, a line exactly as wide as the window leaves an empty row
// after it, and the window shows the last H rows, the cursor's row included.
std::vector<std::string> model(const std::vector<std::string>& lines) {
    std::vector<std::string> rows;
    for (const std::string& l : lines) {
        for (size_t i = 0; i < l.size(); i += W) rows.push_back(l.substr(i, W));
        if (l.empty() || l.size() % W == 0) rows.push_back("");
    }
    // The cursor's row comes last.
    std::vector<std::string> fixed = rows;
    fixed.push_back("");
    if (fixed.size() > static_cast<size_t>(H)) fixed.erase(fixed.begin(), fixed.end() - H);
    for (auto& r : fixed) r.resize(W, ' ');
    while (fixed.size() < static_cast<size_t>(H)) fixed.push_back(std::string(W, ' '));
    return fixed;
}

struct Outcome {
    std::vector<std::string> rows;
    int cx, cy;
};

Outcome run_dialogue(const std::string& word) {
    TEXTDEV_RESET();
    CRT_RESET();
    KEYBOARD_RESET();
    SZO = {};
    FORDITOTT = {};
    SZOHOSSZ = 0;
    I = 0;
    memcon::Setup s;
    s.screen_w = W;
    s.screen_h = H;
    s.window = {0, 0, W - 1, H - 1};
    s.fill_ch = '#';  // what the window held before: CLRSCR must blank it
    memcon::install(s);
    memcon::push_text(word);
    memcon::push_key(13, 28, 13);  // Enter
    memcon::push_key(32, 57, ' ');  // the key for the final wait
    CRTSETUP(check_ok);
    DIALOGUE_STEPS();
    Outcome r;
    for (int y = 0; y < H; ++y) r.rows.push_back(memcon::row(y));
    r.cx = memcon::cursor_x();
    r.cy = memcon::cursor_y();
    EXPECT_EQ(memcon::queued_events(), 1u) << "only the final key's release is left";
    return r;
}

std::vector<std::string> transcript(const std::string& word) {
    std::vector<std::string> lines;
    lines.push_back(text(PROMPT_TEXT, 35));
    lines.push_back(word);
    lines.push_back(text(LENGTH_LEAD, 12) + std::to_string(word.size()) + text(LENGTH_TAIL, 17));
    std::string rev;
    for (char c : word) {
        rev.insert(rev.begin(), c);
        lines.push_back(rev);
    }
    lines.push_back(text(RESULT_LEAD, 20) + rev);
    return lines;
}

TEST(Dialogue, AlmaFillsRowsOneToEight) {
    Outcome r = run_dialogue("alma");
    const std::string want[] = {
        "\xD6rj be egy sz\xA2t \x82s ki\xA1rom ford\xA1tva!",
        "alma",
        "A be\xA1rt sz\xA2 4 karakterb\x8Bl \xA0ll.",
        "a",
        "la",
        "mla",
        "amla",
        "A megford\xA1tott sz\xA2: amla",
    };
    for (int y = 0; y < 8; ++y) EXPECT_EQ(r.rows[static_cast<size_t>(y)], want[y] + std::string(W - want[y].size(), ' ')) << y;
    for (int y = 8; y < H; ++y) EXPECT_EQ(r.rows[static_cast<size_t>(y)], std::string(W, ' ')) << y;
    EXPECT_EQ(r.cx, 0);
    EXPECT_EQ(r.cy, 8);
    EXPECT_EQ(SZOHOSSZ, 4);
    EXPECT_EQ(I, 4);
    EXPECT_EQ(FORDITOTT.len, 4);
}

TEST(Dialogue, TheFixedTextsHaveTheirByteCounts) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(PROMPT_TEXT)).size(), 35u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(LENGTH_LEAD)).size(), 12u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(LENGTH_TAIL)).size(), 17u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(RESULT_LEAD)).size(), 20u);
}

TEST(Dialogue, WordsAgainstTheTranscriptModel) {
    std::string accented = "t\xFBzij\xA0t\x82k";  // tűzijáték in code page 852
    std::string longest;
    for (int i = 0; i < 254; ++i) longest += static_cast<char>('a' + i % 26);
    const struct {
        const char* name;
        std::string word;
    } cases[] = {
        {"empty", ""},
        {"one_character", "x"},
        {"blanks_belong_to_the_word", " ab c "},
        {"two_digit_length", "abcdefghijkl"},
        {"accented_letters_reverse_one_byte_each", accented},
        {"exactly_as_wide_as_the_window", std::string(80, 'w')},
        {"three_digits_and_scrolling", longest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome r = run_dialogue(c.word);
        std::vector<std::string> want = model(transcript(c.word));
        EXPECT_EQ(r.rows, want);
        EXPECT_EQ(r.cx, 0);
        EXPECT_EQ(SZOHOSSZ, static_cast<int16_t>(c.word.size()));
        EXPECT_EQ(I, c.word.empty() ? 1 : static_cast<int16_t>(c.word.size()));
    }
}

}  // namespace
