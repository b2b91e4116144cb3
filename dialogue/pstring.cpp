// Concatenation of length-prefixed strings, safe when an operand is the
// destination itself.
#include "dialogue/pstring.h"

#include <cstring>

void PSTR_CONCAT(PSTRING& dest, uint8_t cap, const PSTRING& a, const PSTRING& b) {
    unsigned alen = a.len, blen = b.len;
    if (alen > cap) alen = cap;  // the caller's duty; kept from running over the buffer
    if (alen + blen > cap) blen = cap - alen;
    if (&dest == &b) {
        // b moves a places towards the end first; the regions overlap.
        std::memmove(dest.ch + alen, b.ch, blen);
        std::memmove(dest.ch, a.ch, alen);
    } else if (&dest == &a) {
        std::memmove(dest.ch + alen, b.ch, blen);
    } else {
        std::memmove(dest.ch, a.ch, alen);
        std::memmove(dest.ch + alen, b.ch, blen);
    }
    dest.len = static_cast<uint8_t>(alen + blen);
}
