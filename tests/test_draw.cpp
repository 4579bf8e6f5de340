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

// Rectangles inside, over each edge and corner, wholly off each side, empty,
// and far enough out that careless arithmetic would overflow. All fit a 12 x 10
// source region.
const Rect CLIP_CASES[] = {
    {100, 50, 12, 10},     {-5, 50, 12, 10},          {100, -7, 12, 10},  {634, 50, 12, 10},
    {100, 395, 12, 10},    {-4, -3, 12, 10},          {636, 396, 12, 10}, {-12, 50, 12, 10},
    {640, 50, 12, 10},     {100, -10, 12, 10},        {100, 400, 12, 10}, {100, 50, 0, 10},
    {100, 50, 12, 0},      {100, 50, -3, 10},         {100, 50, 12, -4},  {INT_MIN, 50, 12, 10},
    {INT_MAX, 50, 12, 10}, {100, INT_MAX - 2, 12, 10}};
// Rectangles for operations without a source: the whole screen and beyond.
const Rect WIDE_CASES[] = {
    {-10, -10, INT_MAX, INT_MAX}, {INT_MIN, 0, INT_MAX, 5}, {0, 0, 640, 400}};

bool covers(const Rect& r, int px, int py) {
    return px >= int64_t{r.x} && px < int64_t{r.x} + r.width && py >= int64_t{r.y} &&
           py < int64_t{r.y} + r.height;
}

std::vector<uint16_t> screen_copy() {
    std::vector<uint16_t> out;
    for (int y = 0; y < display.height; ++y) {
        out.insert(out.end(), screen_pixel(0, y), screen_pixel(0, y) + display.width);
    }
    return out;
}

void paint_noise(std::mt19937& rng) {
    for (int y = 0; y < display.height; ++y) {
        for (int x = 0; x < display.width; ++x) {
            *screen_pixel(x, y) = static_cast<uint16_t>(rng());
        }
    }
}

// Pixels of the screen that differ from expected(x, y, value before).
template <class Expected> int mismatches(const std::vector<uint16_t>& before, Expected expected) {
    int count = 0;
    for (int y = 0; y < display.height; ++y) {
        for (int x = 0; x < display.width; ++x) {
            uint16_t old = before[static_cast<size_t>(y) * display.width + x];
            count += *screen_pixel(x, y) != expected(x, y, old) ? 1 : 0;
        }
    }
    return count;
}

// Runs draw on a noisy screen for each rectangle; pixels it covers must become
// inside(x, y, old, rect), all others stay.
template <class Draw, class Inside>
void check_rects(const Rect* rects, size_t count, Draw draw, Inside inside) {
    std::mt19937 rng(7);
    for (size_t i = 0; i < count; ++i) {
        const Rect& r = rects[i];
        SCOPED_TRACE(testing::Message() << r.x << "," << r.y << " " << r.width << "x" << r.height);
        paint_noise(rng);
        std::vector<uint16_t> before = screen_copy();
        draw(r);
        EXPECT_EQ(0, mismatches(before, [&](int x, int y, uint16_t old) {
                      return covers(r, x, y) ? inside(x, y, old, r) : old;
                  }));
    }
}

size_t mask_size() {
    return static_cast<size_t>(display.width + 7) * display.height / 8;
}

std::vector<uint8_t> mask_copy() {
    return {mask_bitmap, mask_bitmap + mask_size()};
}

class Draw : public testing::Test {
  protected:
    void SetUp() override {
        open_test_display();
        mask_alloc();
    }
};

TEST_F(Draw, BlitShowsTheSourcePixelThatWouldBeThereUnclipped) {
    // Every colour index, and so every screen value, names one source pixel.
    std::vector<uint8_t> indices(256);
    IndexedImage image{.palette = {}, .pixels = indices.data(), .width = 16, .height = 16};
    for (int i = 0; i < 256; ++i) {
        indices[i] = static_cast<uint8_t>(i);
        image.palette[i] = 0x4000u + i;
    }
    auto draw = [&](const Rect& r) { blit_image(r.x, r.y, &image, 2, 3, r.width, r.height); };
    check_rects(CLIP_CASES, std::size(CLIP_CASES), draw, [](int x, int y, uint16_t, const Rect& r) {
        return static_cast<uint16_t>(0x4000 + (3 + y - r.y) * 16 + 2 + x - r.x);
    });
}

TEST_F(Draw, FillAndRemapTouchOnlyTheOnScreenPartOfTheRectangle) {
    uint16_t green = test_pixel(10, 200, 30);
    for (const auto& cases : {std::vector<Rect>(std::begin(CLIP_CASES), std::end(CLIP_CASES)),
                              std::vector<Rect>(std::begin(WIDE_CASES), std::end(WIDE_CASES))}) {
        check_rects(
            cases.data(), cases.size(),
            [](const Rect& r) { fill_rect(r.x, r.y, r.width, r.height, 10, 200, 30); },
            [&](int, int, uint16_t, const Rect&) { return green; });
        check_rects(
            cases.data(), cases.size(),
            [](const Rect& r) { remap_rect(r.x, r.y, r.width, r.height, dim_table); },
            [](int, int, uint16_t old, const Rect&) { return dim_table[old]; });
        check_rects(
            cases.data(), cases.size(),
            [](const Rect& r) { brighten_rect(r.x, r.y, r.width, r.height); },
            [](int, int, uint16_t old, const Rect&) { return brighten_table[old]; });
    }
}

TEST_F(Draw, FillUnmaskPaintsTheColourAndClearsTheMaskUnderIt) {
    std::memset(mask_bitmap, 0xFF, mask_size());
    std::mt19937 rng(3);
    paint_noise(rng);
    std::vector<uint16_t> before = screen_copy();
    Rect r{13, 20, 30, 5}, side{40, 30, 20, 2};
    fill_rect_unmask(r.x, r.y, r.width, r.height, 0x303030);
    fill_rect_unmask(side.x, side.y, side.width, side.height, 0xE7E3C7);
    uint16_t grey = test_pixel(48, 48, 48), cream = test_pixel(231, 227, 199);
    EXPECT_EQ(0, mismatches(before, [&](int x, int y, uint16_t old) {
                  return covers(side, x, y) ? cream : covers(r, x, y) ? grey : old;
              }));
    for (int y = 0; y < display.height; ++y) {
        for (int x = 0; x < display.width; ++x) {
            bool bit = (mask_bitmap[y * mask_stride + x / 8] >> (x % 8)) & 1;
            ASSERT_EQ(bit, !covers(r, x, y) && !covers(side, x, y)) << x << "," << y;
        }
    }
}

TEST_F(Draw, MaskBitsAreAddressedRowByRowLeastSignificantBitLeftmost) {
    EXPECT_EQ(mask_stride, 80);
    std::vector<uint8_t> full(mask_size(), 0xFF);
    ASSERT_EQ(full.size(), 32350u);
    std::memcpy(mask_bitmap, full.data(), full.size());
    mask_clear();
    EXPECT_EQ(mask_copy(), std::vector<uint8_t>(full.size(), 0));
    mask_put(13, 2, 1);
    std::vector<uint8_t> expected(full.size(), 0);
    expected[161] = 32;
    EXPECT_EQ(mask_copy(), expected);
    std::memcpy(mask_bitmap, full.data(), full.size());
    mask_put(13, 2, 0);
    full[161] = static_cast<uint8_t>(~32);
    EXPECT_EQ(mask_copy(), full);
}

TEST_F(Draw, MaskPutOffTheScreenChangesNoBit) {
    for (uint8_t fill : {0x00, 0xFF}) {
        std::vector<uint8_t> start(mask_size(), fill);
        std::memcpy(mask_bitmap, start.data(), start.size());
        for (int value : {0, 1}) {
            mask_put(640, 5, value);
            mask_put(5, 400, value);
            mask_put(static_cast<unsigned>(-1), 5, value);
            mask_put(5, static_cast<unsigned>(-1), value);
        }
        EXPECT_EQ(mask_copy(), start);
    }
}

TEST_F(Draw, MaskRectMatchesMaskPutOnEveryOnScreenPixel) {
    unsigned seed = std::random_device{}();
    std::printf("mask_rect seed %u\n", seed);
    std::mt19937 rng(seed);
    std::vector<Rect> cases(std::begin(CLIP_CASES), std::end(CLIP_CASES));
    cases.insert(cases.end(), std::begin(WIDE_CASES), std::end(WIDE_CASES));
    std::uniform_int_distribution<int> pos(-60, 660), size(-5, 70);
    for (int i = 0; i < 200; ++i) {
        cases.push_back({pos(rng), pos(rng), size(rng), size(rng)});
    }
    std::vector<uint8_t> start(mask_size());
    for (const Rect& r : cases) {
        int value = static_cast<int>(rng() % 3) - 1;
        for (uint8_t& b : start) {
            b = static_cast<uint8_t>(rng());
        }
        std::memcpy(mask_bitmap, start.data(), start.size());
        for (int y = 0; y < display.height; ++y) {
            for (int x = 0; x < display.width; ++x) {
                if (covers(r, x, y)) {
                    mask_put(x, y, value);
                }
            }
        }
        std::vector<uint8_t> expected = mask_copy();
        std::memcpy(mask_bitmap, start.data(), start.size());
        mask_rect(r.x, r.y, r.width, r.height, value);
        ASSERT_EQ(mask_copy(), expected)
            << r.x << "," << r.y << " " << r.width << "x" << r.height << " value " << value;
    }
}

TEST_F(Draw, DimMaskedDarkensEachMarkedPixelExactlyOnce) {
    unsigned seed = std::random_device{}();
    std::printf("dim_masked seed %u\n", seed);
    std::mt19937 rng(seed);
    paint_noise(rng);
    std::vector<uint16_t> before = screen_copy();
    mask_clear();
    dim_masked(mask_bitmap);
    EXPECT_EQ(screen_copy(), before);
    std::vector<uint8_t> mask(mask_size());
    for (uint8_t& b : mask) {
        b = static_cast<uint8_t>(rng()); // every bit pattern, so about half set
    }
    dim_masked(mask.data());
    EXPECT_EQ(0, mismatches(before, [&](int x, int y, uint16_t old) {
                  bool bit = (mask[y * mask_stride + x / 8] >> (x % 8)) & 1;
                  return bit ? dim_table[old] : old;
              }));
}

TEST_F(Draw, SaveAndRestoreRoundTripReusingTheSlot) {
    std::mt19937 rng(11);
    paint_noise(rng);
    std::vector<uint16_t> first = screen_copy();
    save_screen(3);
    uint16_t* buffer = screen_save[3];
    ASSERT_NE(buffer, nullptr);
    paint_noise(rng);
    std::vector<uint16_t> second = screen_copy();
    save_screen(3);
    EXPECT_EQ(screen_save[3], buffer);
    paint_noise(rng);
    restore_screen(3);
    EXPECT_EQ(screen_copy(), second);
    EXPECT_NE(first, second);
}

TEST_F(Draw, SlotsOutOfRangeAndNeverSavedDoNothing) {
    ASSERT_EQ(screen_save[7], nullptr) << "no test may save slot 7";
    std::vector<uint16_t*> slots(screen_save, screen_save + SCREEN_SAVE_SLOTS);
    std::mt19937 rng(5);
    paint_noise(rng);
    std::vector<uint16_t> before = screen_copy();
    for (unsigned n : {8u, static_cast<unsigned>(-1), UINT_MAX / 2}) {
        save_screen(n);
        restore_screen(n);
    }
    restore_screen(7);
    EXPECT_EQ(std::vector<uint16_t*>(screen_save, screen_save + SCREEN_SAVE_SLOTS), slots);
    EXPECT_EQ(screen_copy(), before);
}

// A screen whose rows are further apart than their pixels: every operation
// must step by the pitch and leave the bytes between rows alone.
TEST_F(Draw, RowsFollowThePitchNotTheWidth) {
    Display real = display;
    constexpr int PAD = 16; // pixels of gap after each row
    std::vector<uint16_t> memory(static_cast<size_t>(display.width + PAD) * display.height, 0xBEEF);
    display.pixels = reinterpret_cast<uint8_t*>(memory.data());
    display.pitch = (display.width + PAD) * 2;
    std::mt19937 rng(9);
    paint_noise(rng);
    std::vector<uint16_t> painted = screen_copy();
    save_screen(4);
    fill_rect(-1, -1, 700, 500, 1, 2, 3);
    std::vector<uint8_t> all(mask_size(), 0xFF);
    dim_masked(all.data());
    remap_rect(0, 0, 640, 400, brighten_table);
    restore_screen(4);
    std::vector<uint16_t> after = screen_copy();
    display = real;
    EXPECT_EQ(after, painted);
    for (int y = 0; y < real.height; ++y) {
        for (int i = 0; i < PAD; ++i) {
            ASSERT_EQ(memory[static_cast<size_t>(y) * (real.width + PAD) + real.width + i], 0xBEEF);
        }
    }
}

// At a width that is no multiple of 8 the last mask byte of a row has bits
// past the row's end; set or not, they never reach a pixel.
TEST_F(Draw, DimMaskedStopsAtTheRowEnd) {
    std::mt19937 rng(13);
    paint_noise(rng);
    std::vector<uint16_t> before = screen_copy();
    std::vector<uint8_t> all(static_cast<size_t>(mask_stride) * display.height, 0xFF);
    display.width = 636; // same mask_stride; pixels 636..639 stay in memory
    dim_masked(all.data());
    display.width = 640;
    EXPECT_EQ(0, mismatches(before, [](int x, int, uint16_t old) {
                  return x < 636 ? dim_table[old] : old;
              }));
}

} // namespace
