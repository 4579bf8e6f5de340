// The one 640 x 400 16-bit display surface and its two shading tables.
#pragma once

#include <cstdint>
#include <string>

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

// A colour as SDL gives it for a pixel value: 8-bit red, green and blue.
struct Colour {
    uint8_t red, green, blue;
};

// The two shades the tables hold for a colour: dim at three quarters of its
// brightness (rounding down, so 255 becomes 191); bright half-way to white
// (rounding down, so 129 becomes 192) when all three components are above
// 128, and then brightened is true; otherwise bright is the colour itself.
struct Shades {
    Colour dim;
    Colour bright;
    bool brightened;
};
Shades shade_colour(Colour colour);

// Empties the event queue, allocates the colour tables, opens SDL video with a
// software surface of width x height at 16 bits, then fills the tables.
// Ends the process on failure: status 1 when a table cannot be allocated or
// SDL_Init fails, status 5 when the video mode is refused. When SDL falls back
// to a driver that shows the player nothing (see display_missing_reason), that
// counts as a failed SDL_Init: the reason is printed and the status is 1.
void display_open(int width, int height);

// Why the video driver SDL settled on cannot show the game to anyone, worded
// to follow "Couldn't initialize SDL: "; empty when it can, or when the driver
// was asked for. driver: SDL's name for it (offscreen and dummy draw into
// memory only; caca and aalib draw characters on a terminal). requested,
// x11_display, wayland_display: the values of SDL_VIDEODRIVER (one name or a
// comma-separated list), DISPLAY and WAYLAND_DISPLAY; null or empty when unset.
std::string display_missing_reason(const char* driver, const char* requested,
                                   const char* x11_display, const char* wayland_display);

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
