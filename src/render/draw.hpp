// Framebuffer primitives, the shadow mask and the screen save buffers.
#pragma once

#include <cstdint>

struct IndexedImage;

constexpr int SCREEN_SAVE_SLOTS = 8;

// Full-screen copies (width x height pixels, no row gaps), allocated by the
// first save to a slot and kept until the program ends. Slot 0 holds the
// background of every frame.
extern uint16_t* screen_save[SCREEN_SAVE_SLOTS];

// One bit per screen pixel, rows mask_stride bytes apart, least significant
// bit leftmost; a set bit is darkened at the end of the frame. Allocated once
// by mask_alloc.
extern uint8_t* mask_bitmap;
extern int32_t mask_stride;

// Allocates mask_bitmap for the open display, ((width + 7) x height) / 8 bytes;
// ends the program through fatal_no_memory if it cannot.
void mask_alloc();

// Every rectangle below is (x, y, width, height), clipped to the screen; a
// rectangle with nothing left after clipping draws nothing.

// Draws the region at (src_x, src_y) of image through its palette, with its
// top-left at (x, y). Clipping at the left or top shifts the source along, so
// the visible part stays where it would have been. The caller keeps the
// region inside the picture.
void blit_image(int x, int y, const IndexedImage* image, int src_x, int src_y, int width,
                int height);

// Replaces every pixel p of the rectangle by table[p].
void remap_rect(int x, int y, int width, int height, const uint16_t* table);

// remap_rect with brighten_table.
void brighten_rect(int x, int y, int width, int height);

// Fills the rectangle with the colour (0..255 each).
void fill_rect(int x, int y, int width, int height, int red, int green, int blue);

// fill_rect with colour 0xRRGGBB, then clears the mask under the rectangle.
void fill_rect_unmask(int x, int y, int width, int height, uint32_t colour);

// Darkens, through dim_table, every pixel whose bit is set in mask.
void dim_masked(const uint8_t* mask);

// Copies the whole screen into slot n, allocating it on first use; ends the
// program through fatal_no_memory if it cannot. Slots above 7 do nothing.
void save_screen(unsigned n);

// Copies slot n back onto the screen; nothing for a slot above 7 or never saved.
void restore_screen(unsigned n);

// All mask bits 0.
void mask_clear();

// Sets (value != 0) or clears the mask bit of every pixel of the clipped rectangle.
void mask_rect(int x, int y, int width, int height, int value);
