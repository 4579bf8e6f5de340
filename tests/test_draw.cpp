// Tests of the framebuffer primitives, the shadow mask and the save buffers.
#include "render/draw.hpp"

#include "image/pcx.hpp"
#include "platform/display.hpp"
#include "support.hpp"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

struct Rect {
    int x, y, width, height;
};

// Inside, over each edge and corner, wholly off each side, empty, and far
// enough out that careless arithmetic would overflow; all fit a 12 x 10 source.
const std::vector<Rect> CLIP_CASES = {
    {100, 50, 12, 10},     {-5, 50, 12, 10},          {100, -7, 12, 10},  {634, 50, 12, 10},
    {100, 395, 12, 10},    {-4, -3, 12, 10},          {636, 396, 12, 10}, {-12, 50, 12, 10},
    {640, 50, 12, 10},     {100, -10, 12, 10},        {100, 400, 12, 10}, {100, 50, 0, 10},
    {100, 50, 12, 0},      {100, 50, -3, 10},         {100, 50, 12, -4},  {INT_MIN, 50, 12, 10},
    {INT_MAX, 50, 12, 10}, {100, INT_MAX - 2, 12, 10}};
// Without a source: the whole screen and beyond.
const std::vector<Rect> WIDE_CASES = {
    {-10, -10, INT_MAX, INT_MAX}, {INT_MIN, 0, INT_MAX, 5}, {0, 0, 640, 400}};

bool covers(const Rect& r, int x, int y) {
    return x >= int64_t{r.x} && x < int64_t{r.x} + r.width && y >= int64_t{r.y} &&
           y < int64_t{r.y} + r.height;
}

std::vector<uint16_t> screen_copy() {
    std::vector<uint16_t> out;
    for (int y = 0; y < display.height; ++y) {
        out.insert(out.end(), screen_pixel(0, y), screen_pixel(0, y) + display.width);
    }
    return out;
}

class Draw : public testing::Test {
  protected:
    void SetUp() override {
        open_test_display();
        mask_alloc();
    }
    static bool bit(const uint8_t* mask, int x, int y) { return mask[y * 80 + x / 8] >> x % 8 & 1; }
    static std::vector<uint8_t> mask_copy() { return {mask_bitmap, mask_bitmap + 32000}; }

    void paint_noise() {
        for (int y = 0; y < display.height; ++y) {
            std::generate_n(screen_pixel(0, y), display.width, [&] { return rng(); });
        }
        before = screen_copy();
    }

    // Pixels that differ from expected(x, y, value before).
    template <class Expected> int mismatches(Expected expected) {
        int count = 0;
        for (int y = 0; y < display.height; ++y) {
            for (int x = 0; x < display.width; ++x) {
                count += *screen_pixel(x, y) != expected(x, y, before[y * display.width + x]);
            }
        }
        return count;
    }

    // Runs draw(x, y, width, height) on a noisy screen for each rectangle: the
    // pixels it covers must become table[old], all others stay.
    template <class Draw>
    void check_rects(const std::vector<Rect>& rects, Draw draw, const uint16_t* table) {
        for (const Rect& r : rects) {
            paint_noise();
            draw(r.x, r.y, r.width, r.height);
            EXPECT_EQ(0, mismatches([&](int x, int y, uint16_t old) {
                          return covers(r, x, y) ? table[old] : old;
                      }))
                << r.x << "," << r.y << " " << r.width << "x" << r.height;
        }
    }

    std::mt19937 rng{7};
    std::vector<uint16_t> before;
};

TEST_F(Draw, BlitShowsTheSourcePixelThatWouldBeThereUnclipped) {
    // Every colour index, and so every screen value, names one source pixel.
    std::vector<uint8_t> indices(256);
    IndexedImage image{.palette = {}, .pixels = indices.data(), .width = 16, .height = 16};
    for (int i = 0; i < 256; ++i) {
        indices[i] = static_cast<uint8_t>(i);
        image.palette[i] = 0x4000u + i;
    }
    for (const Rect& r : CLIP_CASES) {
        paint_noise();
        blit_image(r.x, r.y, &image, 2, 3, r.width, r.height);
        EXPECT_EQ(0, mismatches([&](int x, int y, uint16_t old) {
                      return covers(r, x, y) ? 0x4000 + (3 + y - r.y) * 16 + 2 + x - r.x : old;
                  }))
            << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
}

TEST_F(Draw, FillsAndRemapsTouchOnlyTheOnScreenPartOfTheRectangle) {
    std::vector<uint16_t> solid(65536, test_pixel(0xE7, 0x30, 0x9C));
    for (const std::vector<Rect>& rects : {CLIP_CASES, WIDE_CASES}) {
        check_rects(
            rects, [](auto... r) { fill_rect(r..., 0xE7, 0x30, 0x9C); }, solid.data());
        check_rects(
            rects, [](auto... r) { fill_rect_unmask(r..., 0xE7309C); }, solid.data());
        check_rects(
            rects, [](auto... r) { remap_rect(r..., dim_table); }, dim_table);
        check_rects(
            rects, [](auto... r) { brighten_rect(r...); }, brighten_table);
    }
}

TEST_F(Draw, MaskBitsAreAddressedRowByRowLeastSignificantBitLeftmost) {
    ASSERT_EQ(mask_stride, 80);
    for (uint8_t fill : {0x00, 0xFF}) {
        std::memset(mask_bitmap, fill, 32000);
        for (auto [x, y] : {std::pair{640, 5}, {5, 400}, {-1, 5}, {5, -1}}) {
            mask_rect(x, y, 1, 1, 0); // off the screen: nothing changes
            mask_rect(x, y, 1, 1, 1);
        }
        mask_rect(13, 2, 1, 1, fill == 0);
        std::vector<uint8_t> expected(32000, fill);
        expected[161] ^= 32;
        EXPECT_EQ(mask_copy(), expected);
    }
    mask_clear();
    EXPECT_EQ(mask_copy(), std::vector<uint8_t>(32000, 0));
}

TEST_F(Draw, MaskRectAndFillUnmaskChangeExactlyTheirOnScreenBits) {
    unsigned seed = std::random_device{}();
    std::printf("mask seed %u\n", seed);
    rng.seed(seed);
    std::vector<Rect> rects = CLIP_CASES;
    rects.insert(rects.end(), WIDE_CASES.begin(), WIDE_CASES.end());
    std::uniform_int_distribution<int> pos(-60, 660), size(-5, 70);
    for (int i = 0; i < 100; ++i) {
        rects.push_back({pos(rng), pos(rng), size(rng), size(rng)});
    }
    std::vector<uint8_t> start(32000);
    for (const Rect& r : rects) {
        std::generate(start.begin(), start.end(), [&] { return rng(); });
        std::memcpy(mask_bitmap, start.data(), start.size());
        int value = static_cast<int>(rng() % 4) - 1; // -1 and 2 set bits too; 2: fill_rect_unmask
        value == 2 ? fill_rect_unmask(r.x, r.y, r.width, r.height, 0x303030)
                   : mask_rect(r.x, r.y, r.width, r.height, value);
        int wrong = 0;
        for (int y = 0; y < display.height; ++y) {
            for (int x = 0; x < display.width; ++x) {
                bool set = covers(r, x, y) ? value % 2 != 0 : bit(start.data(), x, y);
                wrong += bit(mask_bitmap, x, y) != set;
            }
        }
        ASSERT_EQ(wrong, 0) << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
}

// Also at a width that is no multiple of 8: the last mask byte of a row then
// has bits past the row's end, which never reach a pixel.
TEST_F(Draw, DimMaskedDarkensEachMarkedPixelExactlyOnce) {
    unsigned seed = std::random_device{}();
    std::printf("dim seed %u\n", seed);
    rng.seed(seed);
    std::vector<uint8_t> mask(32000);
    for (int width : {640, 636}) {
        paint_noise();
        std::generate(mask.begin(), mask.end(), [&] { return rng(); });
        display.width = width; // same mask_stride; pixels 636..639 stay in memory
        dim_masked(mask.data());
        display.width = 640;
        EXPECT_EQ(0, mismatches([&](int x, int y, uint16_t old) {
                      return x < width && bit(mask.data(), x, y) ? dim_table[old] : old;
                  }));
    }
}

// Rows 16 pixels further apart than their width: a saved screen holds them
// without gaps, and the gaps keep what they held. Slots past 7 and slots
// never saved do nothing.
TEST_F(Draw, SaveAndRestoreRoundTripWhateverThePitch) {
    ASSERT_EQ(screen_save[7], nullptr) << "no test may save slot 7";
    Display real = display;
    std::vector<uint16_t> memory(656 * 400, 0xBEEF);
    display.pixels = reinterpret_cast<uint8_t*>(memory.data());
    display.pitch = 656 * 2;
    paint_noise();
    save_screen(3);
    std::vector<uint16_t*> slots(screen_save, screen_save + SCREEN_SAVE_SLOTS);
    paint_noise();
    save_screen(3); // into the same buffer
    std::vector<uint16_t> saved = before;
    paint_noise();
    for (unsigned n : {8u, static_cast<unsigned>(-1), UINT_MAX / 2, 7u}) {
        save_screen(n == 7 ? 8 : n);
        restore_screen(n);
    }
    EXPECT_EQ(screen_copy(), before);
    restore_screen(3);
    std::vector<uint16_t> restored = screen_copy();
    display = real;
    EXPECT_EQ(std::vector<uint16_t*>(screen_save, screen_save + SCREEN_SAVE_SLOTS), slots);
    EXPECT_EQ(std::vector<uint16_t>(screen_save[3], screen_save[3] + 640 * 400), saved);
    EXPECT_EQ(restored, saved);
    for (int y = 0; y < 400; ++y) {
        ASSERT_EQ(std::vector<uint16_t>(&memory[y * 656 + 640], &memory[y * 656 + 656]),
                  std::vector<uint16_t>(16, 0xBEEF));
    }
}

} // namespace
