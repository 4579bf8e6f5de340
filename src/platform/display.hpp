// The one 640 x 400 16-bit display surface and its two shading tables.
#pragma once

#include <cstdint>

struct SDL_Surface;

// The display surface; filled by display_open, read by every drawing module.
struct Display {
    SDL_Surface* screen; // the surface SDL_SetVideoMode returned
    uint8_t* pixels;     // its pixel memory: rows of 16-bit values, pitch bytes apart
    int32_t pitch;       // bytes from the start of one row to the next
    int32_t width;       // 640: all drawing clips against width and height
    int32_t height;      // 400
};

// Lives from display_open to the end of the process.
extern Display display;

// Pixel value -> the same colour at three quarters of its brightness.
// 65,536 entries, built by display_open from the format SDL gave; never freed.
extern uint16_t* dim_table;
// Pixel value -> light colours (all components above 128) half-way to white,
// every other colour unchanged. Built alongside dim_table.
extern uint16_t* brighten_table;

// Empties the event queue, allocates the colour tables, opens SDL video with a
// software surface of width x height at 16 bits, then fills the tables.
// Ends the process on failure: status 1 when a table cannot be allocated or
// SDL_Init fails, status 5 when the video mode is refused.
void display_open(int width, int height);

// Shuts SDL down; registered with atexit once the display is open.
void display_close();

// Shows the whole surface.
void display_present();

// The screen's pixel value for red, green, blue; each argument is taken modulo 256.
uint32_t map_rgb(int red, int green, int blue);

// Address of pixel (x, y) of the screen; the caller keeps (x, y) on the screen.
inline uint16_t* screen_pixel(int x, int y) {
    return reinterpret_cast<uint16_t*>(display.pixels + y * display.pitch) + x;
}
