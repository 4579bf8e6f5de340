// Tests of the display: colour tables against SDL's own answers, map_rgb, the fatal paths
// and the refusal of drivers that show nothing.
#include "frame/services.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "support.hpp"

#include <SDL.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

TEST(Display, ColourTablesAgreeWithSdlForEveryPixel) {
    open_test_display();
    ASSERT_EQ(display.screen->format->BitsPerPixel, 16);
    ASSERT_EQ(display.pixels, display.screen->pixels);
    int lifted = 0;
    for (int p = 0; p < 65536; ++p) {
        uint8_t r = 0, g = 0, b = 0;
        SDL_GetRGB(static_cast<Uint32>(p), display.screen->format, &r, &g, &b);
        ASSERT_EQ(dim_table[p], test_pixel(3 * r / 4, 3 * g / 4, 3 * b / 4)) << "pixel " << p;
        // The threshold: a component of 128 keeps the colour, 129 and above lift it
        // (in formats that have those values; RGB565 jumps from 123 or 125 to 130 or 132).
        bool light = r > 128 && g > 128 && b > 128;
        uint16_t bright = light ? test_pixel((r + 255) / 2, (g + 255) / 2, (b + 255) / 2) : p;
        ASSERT_EQ(brighten_table[p], bright) << "pixel " << p;
        lifted += light ? 1 : 0;
    }
    EXPECT_GT(lifted, 0);
    const uint16_t white = test_pixel(255, 255, 255), black = test_pixel(0, 0, 0);
    EXPECT_EQ(dim_table[white], test_pixel(191, 191, 191));
    EXPECT_EQ(brighten_table[white], white);
    EXPECT_EQ(dim_table[black], black);
    EXPECT_EQ(brighten_table[black], black);
}

TEST(Display, MapRgbKeepsTheLowEightBits) {
    open_test_display();
    EXPECT_EQ(map_rgb(256, 0, 0), map_rgb(0, 0, 0));
    EXPECT_EQ(map_rgb(256 + 200, -256 + 10, 512 + 30), test_pixel(200, 10, 30));
}

// Each runs in a fresh process, before SDL is initialised there.
TEST(DisplayDeathTest, OpeningEmptiesTheQueueOrEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EXIT(
        {
            event_push(KEY_ENTER);
            display_open(640, 400);
            std::exit(event_pop() == -1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    // Refused by both SDL 1.2s: sdl12-compat cannot make the window, classic
    // SDL's dummy driver cannot allocate the surface.
    EXPECT_EXIT(display_open(40000, 40000), ::testing::ExitedWithCode(5),
                "^Couldn't set display mode: .+\n$");
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_EXIT(display_open(640, 400), ::testing::ExitedWithCode(1),
                "^Couldn't initialize SDL: .+\n$");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
}

TEST(NoDisplay, HiddenDriversCountOnlyWhenNobodyAskedForThem) {
    const std::string none = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    struct Case {
        const char *driver, *requested, *x11, *wayland;
        std::string reason;
    } cases[] = {
        {"x11", nullptr, ":0", nullptr, ""},
        {"wayland", nullptr, nullptr, "wayland-0", ""},
        {nullptr, nullptr, nullptr, nullptr, ""},
        {"offscreen", nullptr, nullptr, nullptr, none},
        {"offscreen", "", "", "", none},
        {"dummy", "no-such-driver", nullptr, nullptr, none},
        {"caca", "x11,cacafoo", nullptr, nullptr, none},
        {"aalib", nullptr, ":77", nullptr, "the display DISPLAY=:77 cannot be opened"},
        {"OFFSCREEN", nullptr, "", "wl-1", "the display WAYLAND_DISPLAY=wl-1 cannot be opened"},
        {"dummy", nullptr, ":7", "wl-1",
         "the displays DISPLAY=:7 and WAYLAND_DISPLAY=wl-1 cannot be opened"},
        {"dummy", "dummy", nullptr, nullptr, ""},
        {"offscreen", "x11,Offscreen", ":77", nullptr, ""},
        {"caca", "CACA", nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(display_missing_reason(c.driver, c.requested, c.x11, c.wayland), c.reason)
            << (c.driver ? c.driver : "(none)") << " asked "
            << (c.requested ? c.requested : "(unset)");
    }
}

TEST(NoDisplay, TheGameSaysSoAndExitsWithOne) {
    ScratchDir dir; // no tile set: a game that got past the display stops at once with 2
    ChildResult child = run_in_child([] {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
            unsetenv(name);
        }
        execl(MAHJONG_BINARY, MAHJONG_BINARY, nullptr);
    });
    EXPECT_EQ(child.exit_status, 1);
    // SDL may print its own complaints first.
    EXPECT_TRUE(child.err.ends_with(
        "Couldn't initialize SDL: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n"))
        << child.err;
}

TEST(FatalNoMemory, PrintsTheSiteOnStandardOutputAndExitsWithOne) {
    ChildResult child = run_in_child([] { fatal_no_memory(NO_MEMORY_SAVE_BUFFER); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.out, "No memory: 25\n");
    EXPECT_EQ(child.err, "");
}

} // namespace
