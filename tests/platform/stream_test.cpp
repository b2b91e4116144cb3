// The plain-stream backend over a pipe: what the device writes arrives as
// UTF-8 in order, with CR LF as written, nothing for CLRSCR, and plain
// writes to the same pipe never overtake buffered bytes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/textdev.h"
#include "platform/posix/stream.h"
#include "platform/process.h"

namespace {

void check_ok() { ASSERT_EQ(INOUTRES, 0); }
void nop() {}

struct Stream : ::testing::Test {
    int fds[2] = {-1, -1};
    plat::ConsoleOps ops{};
    void SetUp() override {
        ASSERT_EQ(pipe(fds), 0);
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        ops = *posix_stream::open(fds[1]);
        ops.begin = ops.end = nop;  // leave the test's own terminal alone
        plat::use_console(&ops);
        TEXTDEV_RESET();
        CRT_RESET();
        KEYBOARD_RESET();
        CRTSETUP(check_ok);
    }
    void TearDown() override {
        posix_stream::close();
        plat::use_console(nullptr);
        ::close(fds[0]);
        ::close(fds[1]);
    }
    std::string take() {
        std::string out;
        char buf[4096];
        ssize_t r;
        while ((r = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(r));
        return out;
    }
    void write(const std::string& s) {
        WRITE_CHARS(0, OUTPUT, reinterpret_cast<const uint8_t*>(s.data()), s.size(), false);
    }
};

TEST_F(Stream, SetUpSeesNoConsole) {
    EXPECT_EQ(TEXTATTR, 0);
    EXPECT_EQ(WINDMINX, 1u);
    EXPECT_EQ(WINDMINY, 1u);
    EXPECT_EQ(WINDMAXX, 1u);
    EXPECT_EQ(WINDMAXY, 1u);
    CLRSCR();
    GOTOXY(1, 1);
    EXPECT_EQ(take(), "");
}

TEST_F(Stream, BytesBecomeUtf8AndLineEndsStay) {
    // "Írj be" in code page 852, BEL, BS, TAB, NUL, an escape sequence, DEL.
    const char bytes[] = "\xd6rj be\a\b\t\0\x1b[2J\x7f";
    write(std::string(bytes, sizeof bytes - 1));
    EXPECT_EQ(take(), "");  // nothing before the line end
    long before = posix_stream::write_calls();
    WRITE_LINEEND(OUTPUT);
    EXPECT_EQ(posix_stream::write_calls() - before, 1);
    EXPECT_EQ(take(), "\xc3\x8drj be\b\xe2\x97\x8b\xe2\x90\x80\xe2\x86\x90[2J\xe2\x8c\x82\r\n");
    EXPECT_EQ(INOUTRES, 0);
}

TEST_F(Stream, PlainWritesKeepTheOrder) {
    // Echoed bytes wait in the backend's buffer until the next commit point.
    WRITECHAR('x');
    WRITECHAR(0x82);
    const std::string report = "Runtime error 201\r\n";
    EXPECT_EQ(plat::write_handle(fds[1], reinterpret_cast<const uint8_t*>(report.data()), report.size()),
              static_cast<long>(report.size()));
    write("after");
    WRITE_LINEEND(OUTPUT);
    EXPECT_EQ(take(), "x\xc3\xa9Runtime error 201\r\nafter\r\n");
}

TEST_F(Stream, LongOutputArrivesWhole) {
    std::string want;
    for (int line = 0; line < 20; ++line) {
        write(std::string(256, '\xdb'));
        WRITE_LINEEND(OUTPUT);
        for (int i = 0; i < 256; ++i) want += "\xe2\x96\x88";
        want += "\r\n";
    }
    EXPECT_EQ(take(), want);
}

}  // namespace
