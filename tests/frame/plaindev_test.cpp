// Plain text devices in the process itself: when their bytes reach a pipe
// or a terminal, and the I/O result when the handle refuses them.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "frame/plaindev.h"

namespace {

// What can be read from fd right now.
std::string available(int fd) {
    std::string s;
    char buf[1024];
    while (poll(std::vector<pollfd>{{fd, POLLIN, 0}}.data(), 1, 20) > 0) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        s.append(buf, static_cast<size_t>(n));
    }
    return s;
}

void write_text(TEXTREC& f, const std::string& s) {
    WRITE_CHARS(0, f, reinterpret_cast<const uint8_t*>(s.data()), s.size(), false);
}

class PlainDevice : public testing::Test {
protected:
    void SetUp() override { TEXTDEV_RESET(); }
    void open_on(int fd) {
        PLAIN_ASSIGN(dev, fd);
        TEXT_OPEN(dev, MODE_OUTPUT);
        ASSERT_EQ(INOUTRES, 0);
    }
    TEXTREC dev{};
};

TEST_F(PlainDevice, TerminalGetsEachLineAtItsLineEnd) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    grantpt(master);
    unlockpt(master);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    open_on(slave);

    write_text(dev, "line one");
    EXPECT_EQ(available(master), "");
    WRITE_LINEEND(dev);
    EXPECT_EQ(available(master), "line one\r\n");
    write_text(dev, "two");
    WRITE_LINEEND(dev);
    EXPECT_EQ(available(master), "two\r\n");
    EXPECT_EQ(INOUTRES, 0);
    close(slave);
    close(master);
}

TEST_F(PlainDevice, PipeGetsFullBuffersAndWhatFlushHandsOn) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    open_on(p[1]);
    write_text(dev, "short");
    WRITE_LINEEND(dev);
    EXPECT_EQ(available(p[0]), "");
    write_text(dev, std::string(300, 'x'));  // 7 + 300 bytes: one full buffer goes
    EXPECT_EQ(available(p[0]), "short\r\n" + std::string(249, 'x'));
    FLUSH(dev);
    EXPECT_EQ(available(p[0]), std::string(51, 'x'));
    FLUSH(dev);  // nothing waiting: nothing written
    EXPECT_EQ(available(p[0]), "");
    EXPECT_EQ(INOUTRES, 0);
    close(p[0]);
    close(p[1]);
}

// 101 when the handle refuses the bytes or takes fewer than were waiting;
// the buffer is emptied all the same.
TEST_F(PlainDevice, RefusedOrShortWriteSets101) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    fcntl(p[1], F_SETPIPE_SZ, 4096);
    fcntl(p[1], F_SETFL, O_NONBLOCK);
    std::string fill(4096 - 100, 'f');
    ASSERT_EQ(write(p[1], fill.data(), fill.size()), static_cast<ssize_t>(fill.size()));
    open_on(p[1]);
    write_text(dev, std::string(200, 's'));
    FLUSH(dev);
    EXPECT_EQ(INOUTRES, 101);
    EXPECT_EQ(dev.fill, 0u);

    INOUTRES = 0;
    close(p[0]);
    close(p[1]);
    open_on(p[1]);  // a handle that is no longer open
    write_text(dev, "lost");
    FLUSH(dev);
    EXPECT_EQ(INOUTRES, 101);

    INOUTRES = 0;
    open_on(static_cast<int>(plat::NO_HANDLE));
    write_text(dev, "lost");
    FLUSH(dev);
    EXPECT_EQ(INOUTRES, 101);
}

}  // namespace
