// The built-in 6 x 13 bitmap font and printf-style text drawing.
#pragma once

#include <cstdint>

constexpr int FONT_GLYPH_WIDTH = 6; // also the advance from one character to the next
constexpr int FONT_GLYPH_HEIGHT = 13;
constexpr int FONT_GLYPH_COUNT = 96; // codes 32..127
constexpr int TEXT_BUFFER_SIZE = 256;

// 13 row bytes per glyph, top row first; bit k is column k (bit 0 leftmost).
extern const uint8_t font_bitmap[FONT_GLYPH_COUNT * FONT_GLYPH_HEIGHT];

// The glyphs as screen pixel values, two colour sets (white, black) of 96
// glyphs x 78 values; 0 is transparent. Built once by font_build; null if it
// could not be allocated, in which case text draws nothing.
extern uint16_t* glyph_pixels;

// Character code -> its glyph's first value in glyph_pixels. Bit 7 of the code
// picks the black set; codes below 32 (after bit 7) draw as a space.
extern const uint16_t* glyph_table[256];

// Builds glyph_pixels and glyph_table for the open display.
void font_build();

// Draws glyph code at (x, y); pixels off the screen are skipped.
void draw_glyph(int x, int y, int code);

// Formats like printf (at most 255 characters kept) and draws the text on one
// line from (x, y), FONT_GLYPH_WIDTH pixels per character.
void draw_text(int x, int y, const char* format, ...) __attribute__((format(printf, 3, 4)));
