// Code page 852: the single-byte code page of the program's texts and of
// typed characters, and its mapping to and from Unicode.
#pragma once
#include <cstddef>
#include <cstdint>

// The character each byte shows as; the control bytes map to visible glyphs.
extern const char32_t CP852_TO_UNICODE[256];
// The byte for a character; -1 when the code page has none. Code points
// below 128 map to themselves (control characters included).
int unicode_to_cp852(char32_t u);
// Writes the UTF-8 form of a byte's character (1 to 3 bytes); returns its length.
size_t cp852_to_utf8(uint8_t b, char* out);
