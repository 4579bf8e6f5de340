// The one 640 x 400 16-bit display surface and its two shading tables.
#include "platform/display.hpp"

#include "frame/services.hpp"
#include "platform/input.hpp"

#include <SDL.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <strings.h>

Display display;
uint16_t* dim_table;
uint16_t* brighten_table;

namespace {

constexpr int COLOUR_TABLE_ENTRIES = 65536;
constexpr const char* WINDOW_TITLE = "Mahjong";

// Video drivers that SDL may fall back to although no player can see or click
// what they show.
constexpr const char* HIDDEN_DRIVERS[] = {
    "offscreen", // SDL 2 under sdl12-compat: draws into memory
    "dummy",     // both: draws into memory
    "caca",      // classic SDL 1.2: coloured characters on the terminal
    "aalib",     // classic SDL 1.2: ASCII art on the terminal
};

uint16_t map_low16(Colour colour) {
    return static_cast<uint16_t>(
        SDL_MapRGB(display.screen->format, colour.red, colour.green, colour.blue));
}

// Both tables from the format SDL actually gave: no bit layout is assumed.
void fill_colour_tables() {
    for (int p = 0; p < COLOUR_TABLE_ENTRIES; ++p) {
        Colour colour{};
        SDL_GetRGB(static_cast<Uint32>(p), display.screen->format, &colour.red, &colour.green,
                   &colour.blue);
        Shades shades = shade_colour(colour);
        dim_table[p] = map_low16(shades.dim);
        brighten_table[p] = shades.brightened ? map_low16(shades.bright) : static_cast<uint16_t>(p);
    }
}

uint8_t three_quarters(uint8_t component) {
    return static_cast<uint8_t>(3 * component / 4);
}

uint8_t half_way_to_white(uint8_t component) {
    return static_cast<uint8_t>((component + 255) / 2);
}

bool is_set(const char* value) {
    return value != nullptr && value[0] != '\0';
}

// Whether the comma-separated list names driver, in any case.
bool list_names(std::string_view list, std::string_view driver) {
    for (;;) {
        const size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item.size() == driver.size() &&
            strncasecmp(item.data(), driver.data(), item.size()) == 0) {
            return true;
        }
        if (comma == std::string_view::npos) {
            return false;
        }
        list.remove_prefix(comma + 1);
    }
}

bool is_hidden_driver(const char* driver) {
    for (const char* hidden : HIDDEN_DRIVERS) {
        if (strcasecmp(driver, hidden) == 0) {
            return true;
        }
    }
    return false;
}

// Ends the process as a failed SDL_Init when SDL settled on a hidden driver
// nobody asked for.
void refuse_hidden_driver() {
    char name[64] = "";
    std::string reason = display_missing_reason(
        SDL_VideoDriverName(name, sizeof name), std::getenv("SDL_VIDEODRIVER"),
        std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"));
    if (!reason.empty()) {
        std::fprintf(stderr, "Couldn't initialize SDL: %s\n", reason.c_str());
        SDL_Quit();
        std::exit(1);
    }
}

} // namespace

Shades shade_colour(Colour c) {
    Shades s{};
    s.dim = {three_quarters(c.red), three_quarters(c.green), three_quarters(c.blue)};
    s.brightened = c.red > 128 && c.green > 128 && c.blue > 128;
    s.bright = s.brightened ? Colour{half_way_to_white(c.red), half_way_to_white(c.green),
                                     half_way_to_white(c.blue)}
                            : c;
    return s;
}

std::string display_missing_reason(const char* driver, const char* requested,
                                   const char* x11_display, const char* wayland_display) {
    if (!is_set(driver) || !is_hidden_driver(driver) ||
        (is_set(requested) && list_names(requested, driver))) {
        return "";
    }
    const std::string x11 = is_set(x11_display) ? std::string("DISPLAY=") + x11_display : "";
    const std::string wayland =
        is_set(wayland_display) ? std::string("WAYLAND_DISPLAY=") + wayland_display : "";
    if (x11.empty() && wayland.empty()) {
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    }
    if (x11.empty() || wayland.empty()) {
        return "the display " + x11 + wayland + " cannot be opened";
    }
    return "the displays " + x11 + " and " + wayland + " cannot be opened";
}

void display_open(int width, int height) {
    event_queue_clear();
    display.width = width;
    display.height = height;

    dim_table = static_cast<uint16_t*>(std::malloc(COLOUR_TABLE_ENTRIES * sizeof(uint16_t)));
    brighten_table = static_cast<uint16_t*>(std::malloc(COLOUR_TABLE_ENTRIES * sizeof(uint16_t)));
    if (dim_table == nullptr || brighten_table == nullptr) {
        fatal_no_memory(NO_MEMORY_COLOUR_TABLES);
    }

    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::fprintf(stderr, "Couldn't initialize SDL: %s\n", SDL_GetError());
        std::exit(1);
    }
    refuse_hidden_driver();
    // SDL turns SIGINT and SIGTERM into quit events, which the game does not
    // act on; give them back their usual effect so the game can be stopped
    // from outside (a terminal's Ctrl+C, a session ending).
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    SDL_WM_SetCaption(WINDOW_TITLE, WINDOW_TITLE);
    display.screen = SDL_SetVideoMode(width, height, 16, SDL_SWSURFACE);
    if (display.screen == nullptr) {
        std::fprintf(stderr, "Couldn't set display mode: %s\n", SDL_GetError());
        SDL_Quit();
        std::exit(5);
    }
    display.pixels = static_cast<uint8_t*>(display.screen->pixels);
    display.pitch = display.screen->pitch;
    fill_colour_tables();
}

void display_close() {
    SDL_Quit();
}

void display_present() {
    SDL_UpdateRect(display.screen, 0, 0, 0, 0);
}

uint32_t map_rgb(int red, int green, int blue) {
    return SDL_MapRGB(display.screen->format, red & 255, green & 255, blue & 255);
}
