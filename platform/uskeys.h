// The character keys of a US keyboard: for a printable ASCII character, the
// key that types it (virtual key and set-1 scan code) and whether Shift is
// held for it. Key sources use it to give typed characters the identity a
// console would report.
#pragma once
#include <cstdint>

namespace plat {

struct UsKey {
    uint16_t vk;
    uint16_t scan;
    bool shift;
};

// False when no key of the main block types c.
bool us_key(uint8_t c, UsKey* out);

}  // namespace plat
