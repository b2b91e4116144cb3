// The key source as a program meets it: keyprobe (begin, read keys until
// Enter, end) run in a pseudo-terminal, and with standard input from a file,
// a pipe or /dev/null. Checks the keys that arrive, the terminal's modes
// during and after the run, the way the process ends on a signal, and that
// keys typed before the mode is set are kept.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/term_session.h"

namespace {

std::string probe() { return build_path("tests/platform/keyprobe"); }

// The "K vk scan ch mods" lines the probe printed, as "vk scan ch mods".
std::vector<std::string> keys(const std::string& out) {
    std::vector<std::string> v;
    size_t pos = 0;
    while ((pos = out.find("K ", pos)) != std::string::npos) {
        if (pos > 0 && out[pos - 1] != '\n') {
            pos += 2;
            continue;
        }
        size_t end = out.find_first_of("\r\n", pos);
        if (end == std::string::npos) break;
        v.push_back(out.substr(pos + 2, end - pos - 2));
        pos = end;
    }
    return v;
}

const char* const ENTER = "13 28 13 0";

std::string temp_file(const std::string& content) {
    char name[] = "/tmp/keysource_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    return name;
}

}  // namespace

TEST(KeySourceTerminal, ModeIsSetForTheRunAndRestoredAfterIt) {
    TermSession s({probe()});
    ASSERT_TRUE(s.wait_for_text("ready"));
    termios during = s.modes_now();
    EXPECT_FALSE(during.c_lflag & ICANON);
    EXPECT_FALSE(during.c_lflag & ECHO);
    EXPECT_FALSE(during.c_lflag & IEXTEN);
    EXPECT_TRUE(during.c_lflag & ISIG);
    EXPECT_FALSE(during.c_iflag & IXON);
    EXPECT_FALSE(during.c_iflag & ICRNL);
    EXPECT_EQ(during.c_cc[VSUSP], _POSIX_VDISABLE);
    EXPECT_EQ(during.c_cc[VQUIT], _POSIX_VDISABLE);
    EXPECT_EQ(during.c_oflag, s.modes_before().c_oflag);  // output is not this side's business
    // Ctrl+S, Ctrl+Z and Ctrl+\ are keys now, not flow control or signals;
    // Enter arrives as CR.
    s.send("a\x13\x1a\x1c\x1b[A\r");
    int st = s.wait_exit();
    ASSERT_TRUE(WIFEXITED(st)) << st;
    EXPECT_EQ(WEXITSTATUS(st), 0);
    EXPECT_EQ(keys(s.output()), (std::vector<std::string>{"65 30 97 0", "83 31 19 0x8", "90 44 26 0x8",
                                                          "220 43 28 0x8", "38 72 0 0x100", ENTER}));
    EXPECT_TRUE(same_modes(s.modes_now(), s.modes_before()))
        << describe_modes(s.modes_now()) << " vs " << describe_modes(s.modes_before());
}

TEST(KeySourceTerminal, CtrlCRestoresTheModeAndEndsByTheSignal) {
    TermSession s({probe()});
    ASSERT_TRUE(s.wait_for_text("ready"));
    s.send("ab\x03");
    int st = s.wait_exit();
    ASSERT_TRUE(WIFSIGNALED(st)) << st;
    EXPECT_EQ(WTERMSIG(st), SIGINT);
    EXPECT_TRUE(same_modes(s.modes_now(), s.modes_before()))
        << describe_modes(s.modes_now()) << " vs " << describe_modes(s.modes_before());
    EXPECT_EQ(s.output().find("done"), std::string::npos);
}

TEST(KeySourceTerminal, TerminatingSignalsRestoreTheMode) {
    for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
        TermSession s({probe()});
        ASSERT_TRUE(s.wait_for_text("ready"));
        ASSERT_FALSE(same_modes(s.modes_now(), s.modes_before()));
        s.kill_child(sig);
        int st = s.wait_exit();
        ASSERT_TRUE(WIFSIGNALED(st)) << "signal " << sig << " status " << st;
        EXPECT_EQ(WTERMSIG(st), sig);
        EXPECT_TRUE(same_modes(s.modes_now(), s.modes_before())) << "signal " << sig;
    }
}

TEST(KeySourceTerminal, KeysTypedBeforeTheModeIsSetAreKept) {
    // The probe waits before begin(): these bytes meet the terminal's
    // line mode, whose Enter becomes LF on the way in; it is still Enter.
    TermSession s({probe(), "--delay", "300"});
    s.send("xy\r");
    int st = s.wait_exit();
    ASSERT_TRUE(WIFEXITED(st)) << st;
    EXPECT_EQ(keys(s.output()), (std::vector<std::string>{"88 45 120 0", "89 21 121 0", ENTER}));
    EXPECT_TRUE(same_modes(s.modes_now(), s.modes_before()));
}

TEST(KeySourceTerminal, PartialLineTypedAheadIsKept) {
    TermSession s({probe(), "--delay", "300"});
    s.send("q");
    ASSERT_TRUE(s.wait_for_text("ready"));
    s.send("\n\r");  // after begin() an LF is Ctrl+J, a character
    ASSERT_EQ(WIFEXITED(s.wait_exit()), true);
    EXPECT_EQ(keys(s.output()), (std::vector<std::string>{"81 16 113 0", "74 36 10 0x8", ENTER}));
}

TEST(KeySourceTerminal, LoneEscAndEscPrefix) {
    TermSession s({probe(), "--events", "4"});
    ASSERT_TRUE(s.wait_for_text("ready"));
    s.send("\x1b");
    s.pump(150);  // longer than the Esc timeout
    s.send("\x1bx");
    s.pump(20);
    s.send("\x1b");
    s.pump(150);
    s.send("\x1b[1;5H");
    ASSERT_TRUE(WIFEXITED(s.wait_exit()));
    EXPECT_EQ(keys(s.output()),
              (std::vector<std::string>{"27 1 27 0", "88 45 120 0x2", "27 1 27 0", "36 71 0 0x108"}));
}

TEST(KeySourceRedirected, FileGivesItsCharactersThenEnterForever) {
    std::string f = temp_file("ab\r\nc\xc3\xa9\x1a" "d\n\xe2\x82\xac");
    SessionOptions o;
    o.stdin_file = f;
    TermSession s({probe(), "--events", "11"}, o);
    int st = s.wait_exit();
    unlink(f.c_str());
    ASSERT_TRUE(WIFEXITED(st)) << st;
    EXPECT_EQ(keys(s.output()),
              (std::vector<std::string>{"65 30 97 0", "66 48 98 0", ENTER, "67 46 99 0", "0 0 130 0", ENTER,
                                        "68 32 100 0", ENTER, "0 0 63 0", ENTER, ENTER}));
    EXPECT_TRUE(same_modes(s.modes_now(), s.modes_before()));  // not a terminal: no mode set
}

TEST(KeySourceRedirected, EmptyInputIsEnterForever) {
    SessionOptions o;
    o.stdin_file = "/dev/null";
    TermSession s({probe(), "--events", "1000"}, o);
    int st = s.wait_exit();
    ASSERT_TRUE(WIFEXITED(st)) << st;
    std::vector<std::string> k = keys(s.output());
    ASSERT_EQ(k.size(), 1000u);
    for (const std::string& e : k) ASSERT_EQ(e, ENTER);
}

TEST(KeySourceRedirected, PipeIsWaitedForThenEndsInEnter) {
    char dir[] = "/tmp/keysource_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string fifo = std::string(dir) + "/in";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    SessionOptions o;
    o.stdin_file = fifo;
    TermSession s({probe(), "--events", "5"}, o);
    int w = open(fifo.c_str(), O_WRONLY);  // meets the probe opening it
    ASSERT_GE(w, 0);
    ASSERT_TRUE(s.wait_for_text("ready"));
    s.pump(100);  // nothing written yet: the probe waits, no key comes
    EXPECT_TRUE(keys(s.output()).empty());
    ASSERT_EQ(write(w, "a", 1), 1);
    s.pump(100);
    ASSERT_EQ(write(w, "\r", 1), 1);
    s.pump(50);
    ASSERT_EQ(write(w, "\nb", 2), 2);  // the LF of a CR LF pair split over writes
    s.pump(50);
    close(w);
    int st = s.wait_exit();
    unlink(fifo.c_str());
    rmdir(dir);
    ASSERT_TRUE(WIFEXITED(st)) << st;
    EXPECT_EQ(keys(s.output()), (std::vector<std::string>{"65 30 97 0", ENTER, "66 48 98 0", ENTER, ENTER}));
}
