// Screen output of the console device on the in-memory console.
#include <gtest/gtest.h>

#include "console/crt.h"
#include "console/keyboard.h"
#include "console/textdev.h"
#include "platform/memory/memory_console.h"

namespace {

void check_ok() { ASSERT_EQ(INOUTRES, 0); }

struct Console : ::testing::Test {
    void open(memcon::Setup s = {}) {
        TEXTDEV_RESET();
        CRT_RESET();
        KEYBOARD_RESET();
        memcon::install(s);
        CRTSETUP(check_ok);
    }
};

TEST_F(Console, SetUpCapturesWindowAndAttribute) {
    memcon::Setup s;
    s.window = {2, 3, 41, 12};
    s.attr = 0x1E;
    open(s);
    EXPECT_EQ(TEXTATTR, 0x1E);
    EXPECT_EQ(WINDMINX, 3u);
    EXPECT_EQ(WINDMINY, 4u);
    EXPECT_EQ(WINDMAXX, 42u);
    EXPECT_EQ(WINDMAXY, 13u);
    EXPECT_EQ(OUTPUT.mode, MODE_OUTPUT);
    EXPECT_EQ(INPUT.mode, MODE_INPUT);
}

}  // namespace
