// Plain text devices: the frame's standard devices on the process's handles.
// Output goes to the handle as it is; a character device gets each line at
// its line end, any other handle each full buffer and what FLUSH hands on.
#pragma once
#include <cstdint>

#include "console/textdev.h"

// Binds a device to a handle: closed, empty, open function PLAINOPEN.
void PLAIN_ASSIGN(TEXTREC& f, plat::Handle h);
uint16_t PLAINOPEN(TEXTREC& f);
// Writes the waiting bytes to the handle and empties the buffer; I/O result
// 101 when the handle refuses them or takes fewer.
uint16_t PLAINWRITE(TEXTREC& f);
