// forditva end to end: the real binary in a pseudo-terminal of a given size,
// keys typed as a terminal sends them, the screen read back through
// libvterm, with the exit status and the terminal's modes checked; and over
// pipes and /dev/null.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/posix/cp852.h"
#include "tests/support/term_session.h"

namespace {

const std::string PROMPT = "Írj be egy szót és kiírom fordítva!";

// A code-page-852 byte string as the terminal shows it.
std::string utf8(const std::string& cp852) {
    std::string out;
    char buf[4];
    for (unsigned char b : cp852) out.append(buf, cp852_to_utf8(b, buf));
    return out;
}

// The lines of a run's transcript for a word given in code page 852.
std::vector<std::string> transcript(const std::string& word) {
    std::vector<std::string> lines = {PROMPT, utf8(word),
                                      "A beírt szó " + std::to_string(word.size()) + " karakterből áll."};
    std::string rev;
    for (char c : word) {
        rev.insert(rev.begin(), c);
        lines.push_back(utf8(rev));
    }
    lines.push_back("A megfordított szó: " + utf8(rev));
    return lines;
}

// Counts the characters of a UTF-8 string.
size_t width(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// The UTF-8 characters from index `from`, at most `count` of them.
std::string chars(const std::string& s, size_t from, size_t count) {
    std::string out;
    size_t i = 0;
    for (size_t k = 0; k < s.size();) {
        size_t len = 1;
        while (k + len < s.size() && (static_cast<unsigned char>(s[k + len]) & 0xC0) == 0x80) ++len;
        if (i >= from && i < from + count) out += s.substr(k, len);
        ++i;
        k += len;
    }
    return out;
}

// The window the transcript leaves: lines wrapped at the width, a line
// exactly as wide as the window followed by an empty row, the last rows
// shown, the cursor's row last.
std::vector<std::string> window_of(const std::vector<std::string>& lines, int cols, int rows,
                                   int* cursor_row = nullptr) {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
        size_t w = width(l);
        for (size_t i = 0; i < w; i += static_cast<size_t>(cols)) out.push_back(chars(l, i, static_cast<size_t>(cols)));
        if (w == 0 || w % static_cast<size_t>(cols) == 0) out.push_back("");
    }
    out.push_back("");
    for (std::string& r : out)  // the screen's rows are read with trailing blanks cut
        while (!r.empty() && r.back() == ' ') r.pop_back();
    if (out.size() > static_cast<size_t>(rows)) out.erase(out.begin(), out.end() - rows);
    if (cursor_row) *cursor_row = static_cast<int>(out.size()) - 1;
    while (out.size() < static_cast<size_t>(rows)) out.push_back("");
    return out;
}

std::vector<std::string> screen_rows(TermSession& s) {
    std::vector<std::string> r;
    for (int y = 0; y < s.screen().rows(); ++y) r.push_back(s.screen().row(y));
    return r;
}

struct Typed {
    const char* name;
    std::string keys;  // bytes as a terminal sends them, Enter included
    std::string word;  // the word that results, in code page 852
    int cols = 80, rows = 24;
};

std::string long_word(size_t n) {
    std::string w;
    for (size_t i = 0; i < n; ++i) w += static_cast<char>('a' + i % 26);
    return w;
}

void PrintTo(const Typed& t, std::ostream* os) { *os << t.name; }

class Typing : public ::testing::TestWithParam<Typed> {};

TEST_P(Typing, ScreenExitStatusAndModes) {
    const Typed& c = GetParam();
    SessionOptions opt;
    opt.cols = c.cols;
    opt.rows = c.rows;
    TermSession s({FORDITVA_BIN}, opt);
    ASSERT_TRUE(s.wait_until([&] { return s.screen_has(PROMPT.substr(0, 10)); })) << s.output();
    s.send(c.keys);
    int cursor_row = 0;
    const std::vector<std::string> want = window_of(transcript(c.word), c.cols, c.rows, &cursor_row);
    s.wait_until([&] { return screen_rows(s) == want; });
    s.pump(30);
    EXPECT_EQ(screen_rows(s), want) << s.output();
    EXPECT_EQ(s.screen().cursor_x(), 0);
    EXPECT_EQ(s.screen().cursor_y(), cursor_row);
    EXPECT_FALSE(s.exited()) << "waits for a key";
    s.send("q");
    int st = s.wait_exit();
    ASSERT_TRUE(WIFEXITED(st)) << st;
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_TRUE(same_modes(s.modes_before(), s.modes_now()))
        << describe_modes(s.modes_before()) << " / " << describe_modes(s.modes_now());
}

const Typed typed[] = {
    {"alma", "alma\r", "alma"},
    {"empty_line", "\r", ""},
    {"one_character", "x\r", "x"},
    {"blanks_belong_to_the_word", " ab c \r", " ab c "},
    {"two_digit_length", "szilvalekvar\r", "szilvalekvar"},
    {"three_digits_254_characters_scroll", long_word(254) + "\r", long_word(254)},
    {"wider_than_a_narrow_terminal", "abcdefghijklmnopqrstuvwxyz\r", "abcdefghijklmnopqrstuvwxyz", 20, 12},
    {"accented_letters", "tűzijáték\r", "t\xFBzij\xA0t\x82k"},
    {"overwrite_with_left", "abc\x1b[D\x1b[DX\r", "aXc"},
    {"backspace_at_the_end", "abcd\x7f\x7f" "e\r", "abe"},
    {"backspace_inside_does_nothing", "abc\x1b[D\x7f\r", "abc"},
    {"home_end_and_ss3_cursor_keys", "abc\x1b[HZ\x1b[F!\x1bOD\x1bODq\r", "Zbq!"},
    {"ctrl_y_clears", "abc\x19xy\r", "xy"},
    {"function_keys_are_ignored", "a\x1bOP\x1b[15~\x1b[1;5Hb\r", "ab"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Typing, ::testing::ValuesIn(typed),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(EndToEnd, AloneEscClearsTheLine) {
    TermSession s({FORDITVA_BIN});
    ASSERT_TRUE(s.wait_for_text(PROMPT));
    s.send("abc");
    ASSERT_TRUE(s.wait_for_text("abc"));
    s.send("\x1b");
    s.pump(150);  // longer than the Esc timeout
    s.send("de\r");
    ASSERT_TRUE(s.wait_for_text("A megfordított szó: ed"));
    s.send(" ");
    EXPECT_EQ(WEXITSTATUS(s.wait_exit()), 0);
}

TEST(EndToEnd, TypeAheadIsKeptAndEndsTheKeyWaitAtOnce) {
    TermSession s({FORDITVA_BIN});
    s.send("ab\rz");  // before the prompt is even on the screen
    int st = s.wait_exit();
    ASSERT_TRUE(WIFEXITED(st)) << s.output();
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_TRUE(s.screen_has("A megfordított szó: ba"));
    EXPECT_TRUE(same_modes(s.modes_before(), s.modes_now()));
}

TEST(EndToEnd, CtrlCKillsByTheSignalAndRestoresTheModes) {
    TermSession s({FORDITVA_BIN});
    ASSERT_TRUE(s.wait_for_text(PROMPT));
    s.send("ab");
    ASSERT_TRUE(s.wait_for_text("ab"));
    s.send("\x03");
    int st = s.wait_exit();
    ASSERT_TRUE(WIFSIGNALED(st)) << st;
    EXPECT_EQ(WTERMSIG(st), SIGINT);
    EXPECT_TRUE(same_modes(s.modes_before(), s.modes_now()))
        << describe_modes(s.modes_before()) << " / " << describe_modes(s.modes_now());
}

// Runs a shell command line and returns its standard output and status.
std::string shell(const std::string& cmd, int* status) {
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    *status = pclose(p);
    return out;
}

TEST(Redirected, PipeInPipeOutPrintsTheWholeTranscript) {
    int st = 0;
    std::string out = shell("printf 'szó\\n' | " FORDITVA_BIN " | cat", &st);
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_EQ(out,
              "Írj be egy szót és kiírom fordítva!\r\n"
              "szó\r\n"
              "A beírt szó 3 karakterből áll.\r\n"
              "s\r\n"
              "zs\r\n"
              "ózs\r\n"
              "A megfordított szó: ózs\r\n");
}

TEST(Redirected, DevNullEndsAtOnceWithStatusZero) {
    int st = 0;
    std::string out = shell(FORDITVA_BIN " </dev/null", &st);
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_NE(out.find("A beírt szó 0 karakterből áll.\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("A megfordított szó: \r\n"), std::string::npos);
    std::string none = shell(FORDITVA_BIN " </dev/null >/dev/null 2>&1; echo $?", &st);
    EXPECT_EQ(none, "0\n");
}

TEST(Redirected, InputFromAPipeOutputToTheTerminal) {
    char path[] = "/tmp/forditva-in-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "kecske\r\n", 8), 8);
    close(fd);
    SessionOptions opt;
    opt.stdin_file = path;
    TermSession s({FORDITVA_BIN}, opt);
    int st = s.wait_exit();
    unlink(path);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_EQ(screen_rows(s), window_of(transcript("kecske"), 80, 24));
}

}  // namespace
