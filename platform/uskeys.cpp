// The US keyboard's main block as data: each row's first scan code and its
// keys' characters without and with Shift; the virtual keys of punctuation
// (letters, digits and space use their upper-case ASCII code).
#include "platform/uskeys.h"

namespace plat {
namespace {

struct KeyRow {
    uint8_t first_scan;
    const char* plain;
    const char* shifted;
};
const KeyRow US_ROWS[] = {
    {2, "1234567890-=", "!@#$%^&*()_+"},
    {16, "qwertyuiop[]", "QWERTYUIOP{}"},
    {30, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
    {43, "\\zxcvbnm,./", "|ZXCVBNM<>?"},
    {57, " ", " "},
};

struct PunctVk {
    char ch;
    uint16_t vk;
};
const PunctVk PUNCT_VKS[] = {
    {';', 0xBA}, {'=', 0xBB}, {',', 0xBC}, {'-', 0xBD}, {'.', 0xBE}, {'/', 0xBF},
    {'`', 0xC0}, {'[', 0xDB}, {'\\', 0xDC}, {']', 0xDD}, {'\'', 0xDE},
};

}  // namespace

bool us_key(uint8_t c, UsKey* out) {
    for (const KeyRow& r : US_ROWS) {
        for (int shifted = 0; shifted < 2; ++shifted) {
            const char* s = shifted ? r.shifted : r.plain;
            for (int i = 0; s[i]; ++i) {
                if (static_cast<uint8_t>(s[i]) != c) continue;
                char base = r.plain[i];
                uint16_t vk = static_cast<uint16_t>(base >= 'a' && base <= 'z' ? base - 'a' + 'A' : base);
                for (const PunctVk& p : PUNCT_VKS)
                    if (p.ch == base) vk = p.vk;
                *out = {vk, static_cast<uint16_t>(r.first_scan + i), shifted != 0 && c != ' '};
                return true;
            }
        }
    }
    return false;
}

}  // namespace plat
