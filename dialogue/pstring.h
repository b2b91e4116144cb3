// Concatenation into a length-prefixed string.
#pragma once
#include <cstdint>

#include "console/textdev.h"

// dest := a followed by b, within capacity cap. b is cut at its end when the
// two do not fit; a is never cut (its length must not exceed cap). Either
// operand may be dest itself.
void PSTR_CONCAT(PSTRING& dest, uint8_t cap, const PSTRING& a, const PSTRING& b);
