// Tests of the display: colour tables against SDL's own answers, map_rgb, and the fatal paths.
#include "frame/services.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "support.hpp"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

struct Components {
    int red, green, blue;
};

Components components_of(int pixel) {
    uint8_t r = 0, g = 0, b = 0;
    SDL_GetRGB(static_cast<Uint32>(pixel), display.screen->format, &r, &g, &b);
    return {r, g, b};
}

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override { open_test_display(); }
};

TEST_F(DisplayTest, OpensA640By400SixteenBitSurface) {
    EXPECT_EQ(display.width, 640);
    EXPECT_EQ(display.height, 400);
    EXPECT_EQ(display.screen->format->BitsPerPixel, 16);
    EXPECT_GE(display.pitch, 2 * 640);
    EXPECT_EQ(display.pixels, display.screen->pixels);
}

TEST_F(DisplayTest, DimTableMatchesSdlForEveryPixel) {
    for (int p = 0; p < 65536; ++p) {
        Components c = components_of(p);
        uint16_t expected = test_pixel(3 * c.red / 4, 3 * c.green / 4, 3 * c.blue / 4);
        ASSERT_EQ(dim_table[p], expected) << "pixel " << p;
    }
    EXPECT_EQ(dim_table[test_pixel(255, 255, 255)], test_pixel(191, 191, 191));
    EXPECT_EQ(dim_table[test_pixel(0, 0, 0)], test_pixel(0, 0, 0));
}

TEST_F(DisplayTest, BrightenTableLiftsOnlyLightColours) {
    int lifted = 0;
    for (int p = 0; p < 65536; ++p) {
        Components c = components_of(p);
        if (c.red > 128 && c.green > 128 && c.blue > 128) {
            ASSERT_EQ(brighten_table[p],
                      test_pixel((c.red + 255) / 2, (c.green + 255) / 2, (c.blue + 255) / 2))
                << "pixel " << p;
            ++lifted;
        } else {
            ASSERT_EQ(brighten_table[p], p) << "pixel " << p;
        }
    }
    EXPECT_GT(lifted, 0);
    uint16_t white = test_pixel(255, 255, 255);
    EXPECT_EQ(brighten_table[white], white);
}

TEST_F(DisplayTest, BrightenThresholdLiesBetween128And129) {
    // Pick pixels whose components SDL reports as exactly these values, if the format has them.
    for (int p = 0; p < 65536; ++p) {
        Components c = components_of(p);
        if (c.red == 128 && c.green > 128 && c.blue > 128) {
            EXPECT_EQ(brighten_table[p], p);
        }
        if (c.red == 129 && c.green == 129 && c.blue == 129) {
            EXPECT_EQ(brighten_table[p], test_pixel(192, 192, 192));
        }
    }
    uint16_t grey = test_pixel(129, 129, 129);
    Components g = components_of(grey);
    EXPECT_EQ(brighten_table[grey] != grey, g.red > 128 && g.green > 128 && g.blue > 128);
}

TEST_F(DisplayTest, MapRgbKeepsTheLowEightBits) {
    EXPECT_EQ(map_rgb(256, 0, 0), map_rgb(0, 0, 0));
    EXPECT_EQ(map_rgb(256 + 200, -256 + 10, 512 + 30), map_rgb(200, 10, 30));
    EXPECT_EQ(map_rgb(255, 255, 255), SDL_MapRGB(display.screen->format, 255, 255, 255));
}

TEST_F(DisplayTest, OpeningEmptiesTheEventQueue) {
    // The queue was emptied by display_open: nothing queued before any poll.
    EXPECT_EQ(event_queue.read_index, event_queue.write_index);
}

// These re-run the test program in a fresh process, before SDL is initialised.
TEST(DisplayFailuresDeathTest, UnknownVideoDriverEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
            display_open(640, 400);
        },
        ::testing::ExitedWithCode(1), "^Couldn't initialize SDL: .+\n$");
}

TEST(DisplayFailuresDeathTest, RefusedModeEndsWithStatusFive) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            display_open(1 << 20, 1 << 20);
        },
        ::testing::ExitedWithCode(5), "^Couldn't set display mode: .+\n$");
}

TEST(FatalNoMemory, PrintsTheSiteOnStandardOutputAndExitsWithOne) {
    ChildResult child = run_in_child([] { fatal_no_memory(NO_MEMORY_SAVE_BUFFER); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.out, "No memory: 25\n");
    EXPECT_EQ(child.err, "");
}

} // namespace
