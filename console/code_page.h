// Code page 437: the byte in a cell and the character the terminal shows.
#pragma once

#include <cstdint>

struct utf8_glyph {
    char bytes[3];
    std::uint8_t length;
};

// The UTF-8 form of the character a byte shows as (1 to 3 bytes).
const utf8_glyph& cp437_glyph(std::uint8_t byte);

// The byte of a typed character, 0 when the code page has no such character.
// Code points below 128 map to themselves.
std::uint8_t cp437_from_code_point(std::uint32_t code_point);
