// Tests of the built-in font: the shape of its table, its screen pixels, and text drawing.
#include "render/font.hpp"

#include "platform/display.hpp"
#include "support.hpp"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

const uint8_t* rows_of(int code) {
    return font_bitmap + (code - 32) * FONT_GLYPH_HEIGHT;
}

// Glyph b is glyph a mirrored left to right in rows first..last; with turn
// also upside down, that is turned half a circle.
bool mirror_of(int a, int b, int first, int last, bool turn) {
    for (int r = first; r <= last; ++r) {
        uint8_t flipped = 0;
        for (int k = 0; k < 5; ++k) {
            flipped |= static_cast<uint8_t>((rows_of(a)[r] >> k & 1) << (4 - k));
        }
        if (flipped != rows_of(b)[turn ? first + last - r : r]) {
            return false;
        }
    }
    return true;
}

// Typing errors in the table break its regularities.
TEST(FontTable, GlyphsKeepTheirBordersRowsAndSymmetries) {
    // First and last lit row: capitals and digits on rows 1 to 9, small letters
    // on 4 to 9 with their parts above and below, marks reaching row 10.
    const std::pair<const char*, std::pair<int, int>> spans[] = {
        {"ABCDEFGHIJKLMNOPRSTUVWXYZ0123456789bdfhkl", {1, 9}},
        {"Q", {1, 10}},
        {"acemnorsuvwxz", {4, 9}},
        {"gpqy", {4, 11}},
        {"it", {2, 9}},
        {"j", {2, 11}},
        {"_", {10, 10}},
        {" ", {-1, -1}}};
    std::set<std::vector<uint8_t>> distinct;
    for (int code = 32; code < 128; ++code) {
        const uint8_t* rows = rows_of(code);
        distinct.emplace(rows, rows + FONT_GLYPH_HEIGHT);
        int first = -1, last = -1;
        for (int r = 0; r < FONT_GLYPH_HEIGHT; ++r) {
            // Column 5 and rows 0 and 12 blank, but for the solid block.
            int blank = r == 0 || r == 12 ? 0xFF : 0xE0;
            EXPECT_EQ(rows[r] & (code == 127 ? 0xFF : blank), code == 127 ? 0x3F : 0) << code;
            first = first < 0 && rows[r] != 0 ? r : first;
            last = rows[r] != 0 ? r : last;
        }
        for (const auto& [chars, span] : spans) {
            EXPECT_TRUE(std::strchr(chars, code) == nullptr || std::pair(first, last) == span)
                << char(code);
        }
        EXPECT_TRUE(std::strchr(",.:;", code) == nullptr || last == 10) << char(code);
    }
    EXPECT_EQ(distinct.size(), 96u);
    EXPECT_EQ(rows_of('i')[3] | rows_of('j')[3], 0); // the dots stand apart
    struct Symmetry {
        const char *from, *to; // to[i] is from[i] mirrored or turned
        int first, last;
        bool turn;
    };
    const Symmetry symmetries[] = {{"!\"#*+-.08:=AHIMOTUVWXY^_ovwx|()<>[]{}/\\bdpq",
                                    "!\"#*+-.08:=AHIMOTUVWXY^_ovwx|)(><][}{\\/dbqp", 0, 12, false},
                                   {"#$%*+-/08HIOSXZ\\|69", "#$%*+-/08HIOSXZ\\|96", 1, 9, true},
                                   {"nuox", "unox", 4, 9, true}};
    for (const Symmetry& s : symmetries) {
        for (int i = 0; s.from[i] != '\0'; ++i) {
            EXPECT_TRUE(mirror_of(s.from[i], s.to[i], s.first, s.last, s.turn)) << s.from[i];
        }
    }
}

class Font : public testing::Test {
  protected:
    void SetUp() override {
        open_test_display();
        font_build();
        white = test_pixel(255, 255, 255);
        paint_noise();
    }

    void paint_noise() {
        for (int y = 0; y < 400; ++y) {
            std::generate_n(screen_pixel(0, y), 640, [&] { return rng(); });
            std::copy_n(screen_pixel(0, y), 640, &before[y * 640]);
        }
    }

    // Pixels that differ from what text drawn at (x, y) should leave: white
    // where a glyph of codes 32..127 has its bit, everything else as before.
    int mismatches(const std::string& text, int x, int y) {
        int count = 0;
        for (int py = 0; py < 400; ++py) {
            for (int px = 0; px < 640; ++px) {
                int64_t dx = int64_t{px} - x, dy = int64_t{py} - y;
                bool inside = dx >= 0 && dy >= 0 && dy < 13 && dx / 6 < int64_t(text.size());
                int code = inside ? static_cast<unsigned char>(text[dx / 6]) : 0;
                bool lit = code >= 32 && code < 128 && (rows_of(code)[dy] >> dx % 6 & 1);
                count += *screen_pixel(px, py) != (lit ? white : before[py * 640 + px]);
            }
        }
        return count;
    }

    std::mt19937 rng{17};
    std::vector<uint16_t> before = std::vector<uint16_t>(640 * 400);
    uint16_t white = 0;
};

TEST_F(Font, StatusMessageLightsOnlyWhitePixelsInsideItsBox) {
    draw_text(500, 320, "Click on a tile");
    int wrong = 0; // without the table: white or untouched, and untouched outside 90 x 13
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 640; ++x) {
            bool inside = x >= 500 && x < 590 && y >= 320 && y < 333;
            uint16_t pixel = *screen_pixel(x, y);
            wrong += pixel != before[y * 640 + x] && (!inside || pixel != white);
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(mismatches("Click on a tile", 500, 320), 0);
}

// Texts are drawn with "%s"; characters past 255 are cut, codes 128 to 255
// draw nothing, a newline is a blank cell, and cells over an edge are clipped.
TEST_F(Font, TextLightsExactlyItsGlyphBitsOnOneLine) {
    std::string high;
    for (int code = 128; code < 256; ++code) {
        high += static_cast<char>(code);
    }
    const std::pair<int, int> edges[] = {
        {-3, 5},   {637, 5},   {5, -7},      {5, 395},    {-3, -7},           {637, 395},
        {-6, 0},   {640, 0},   {0, 400},     {0, -13},    {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX},
        {-20, 50}, {620, 390}, {INT_MAX, 0}, {INT_MIN, 0}};
    std::vector<std::tuple<int, int, std::string>> cases = {
        {30, 40, ""},
        {30, 40, "A\nB\x7f"},
        {0, 60, high.substr(0, 64) + "A"},
        {0, 60, high.substr(64) + "A"},
        {-6 * 250, 60, std::string(255, 'I') + std::string(45, 'W')}};
    for (auto [x, y] : edges) {
        cases.emplace_back(x, y, "\x7fMahjong");
    }
    for (const auto& [x, y, text] : cases) {
        paint_noise();
        draw_text(x, y, "%s", text.c_str());
        EXPECT_EQ(mismatches(text.substr(0, 255), x, y), 0) << x << "," << y << " " << text;
    }
    draw_text(30, 40, "%d", 42);
    EXPECT_EQ(mismatches("42", 30, 40), 0);
    uint16_t* built = glyph_pixels;
    glyph_pixels = nullptr; // as when it could not be allocated: nothing is drawn
    draw_text(10, 10, "Click on a tile");
    draw_glyph(10, 30, 127);
    glyph_pixels = built;
    EXPECT_EQ(mismatches("42", 30, 40), 0);
}

} // namespace
