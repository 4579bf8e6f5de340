// Tests of the display: colour tables against SDL's own answers, map_rgb, and the fatal paths.
#include "frame/services.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "support.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

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
    EXPECT_EXIT(display_open(1 << 20, 1 << 20), ::testing::ExitedWithCode(5),
                "^Couldn't set display mode: .+\n$");
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    EXPECT_EXIT(display_open(640, 400), ::testing::ExitedWithCode(1),
                "^Couldn't initialize SDL: .+\n$");
    setenv("SDL_VIDEODRIVER", "dummy", 1);
}

TEST(FatalNoMemory, PrintsTheSiteOnStandardOutputAndExitsWithOne) {
    ChildResult child = run_in_child([] { fatal_no_memory(NO_MEMORY_SAVE_BUFFER); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.out, "No memory: 25\n");
    EXPECT_EQ(child.err, "");
}

} // namespace
