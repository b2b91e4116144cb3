// The code page table the terminal shows bytes through: every byte is one
// character of one cell, its UTF-8 form decodes back to it, and the upper
// half agrees with glibc's own IBM852 converter.
#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <cwchar>

#include "platform/posix/cp852.h"

namespace {

TEST(Cp852, EveryByteIsOneSingleWidthCharacter) {
    ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    for (int b = 0; b < 256; ++b) {
        char utf8[4] = {};
        size_t n = cp852_to_utf8(static_cast<uint8_t>(b), utf8);
        std::mbstate_t state{};
        wchar_t wc = 0;
        size_t used = std::mbrtowc(&wc, utf8, n, &state);
        EXPECT_EQ(used, n) << "byte " << b;
        EXPECT_EQ(static_cast<char32_t>(wc), CP852_TO_UNICODE[b]) << "byte " << b;
        EXPECT_EQ(wcwidth(wc), 1) << "byte " << b << " U+" << std::hex << static_cast<unsigned>(wc);
    }
    std::setlocale(LC_ALL, "C");
}

TEST(Cp852, UpperHalfAgreesWithIconv) {
    iconv_t cd = iconv_open("UTF-32LE", "IBM852");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "glibc's IBM852 converter is missing";
    for (int b = 128; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[8] = {};
        char* ip = &in;
        char* op = reinterpret_cast<char*>(out);
        size_t il = 1, ol = sizeof out;
        ASSERT_NE(iconv(cd, &ip, &il, &op, &ol), static_cast<size_t>(-1)) << "byte " << b;
        ASSERT_EQ(sizeof out - ol, 4u) << "byte " << b;
        char32_t u = out[0] | out[1] << 8 | out[2] << 16 | static_cast<char32_t>(out[3]) << 24;
        EXPECT_EQ(CP852_TO_UNICODE[b], u) << "byte " << b;
        EXPECT_EQ(unicode_to_cp852(u), b) << "byte " << b;  // and back
    }
    iconv_close(cd);
}

}  // namespace
