// Tests of the built-in font: the shape of its table, its screen pixels, and text drawing.
#include "render/font.hpp"

#include "platform/display.hpp"
#include "support.hpp"

#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const uint8_t* rows_of(int code) {
    return font_bitmap + (code - 32) * FONT_GLYPH_HEIGHT;
}

// First and last row with a lit pixel; {-1, -1} for an empty glyph.
std::pair<int, int> row_span(int code) {
    int first = -1, last = -1;
    for (int r = 0; r < FONT_GLYPH_HEIGHT; ++r) {
        if (rows_of(code)[r] != 0) {
            first = first < 0 ? r : first;
            last = r;
        }
    }
    return {first, last};
}

uint8_t mirrored(uint8_t row) { // columns 0..4 swapped end for end
    uint8_t out = 0;
    for (int k = 0; k < 5; ++k) {
        out |= static_cast<uint8_t>(((row >> k) & 1) << (4 - k));
    }
    return out;
}

bool mirror_images(int a, int b) {
    for (int r = 0; r < FONT_GLYPH_HEIGHT; ++r) {
        if (mirrored(rows_of(a)[r]) != rows_of(b)[r]) {
            return false;
        }
    }
    return true;
}

// Turned half a circle within rows first..last.
bool half_turns(int a, int b, int first, int last) {
    for (int r = first; r <= last; ++r) {
        if (mirrored(rows_of(a)[r]) != rows_of(b)[first + last - r]) {
            return false;
        }
    }
    return true;
}

TEST(FontTable, EveryGlyphButTheBlockKeepsItsBorderBlank) {
    static_assert(sizeof font_bitmap == 1248);
    for (int code = 32; code < 127; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(rows_of(code)[0], 0);
        EXPECT_EQ(rows_of(code)[12], 0);
        for (int r = 0; r < FONT_GLYPH_HEIGHT; ++r) {
            EXPECT_EQ(rows_of(code)[r] & 0xE0, 0) << "row " << r; // column 5, bits 6 and 7
        }
    }
    EXPECT_EQ(row_span(' '), std::make_pair(-1, -1));
    for (int r = 0; r < FONT_GLYPH_HEIGHT; ++r) {
        EXPECT_EQ(rows_of(127)[r], 0x3F);
    }
}

TEST(FontTable, LettersDigitsAndPunctuationSitOnTheirRows) {
    for (char c : std::string("ABCDEFGHIJKLMNOPRSTUVWXYZ0123456789")) {
        EXPECT_EQ(row_span(c), std::make_pair(1, 9)) << c;
    }
    EXPECT_EQ(row_span('Q'), std::make_pair(1, 10));
    const std::pair<const char*, std::pair<int, int>> small[] = {{"acemnorsuvwxz", {4, 9}},
                                                                 {"gpqy", {4, 11}},
                                                                 {"bdfhkl", {1, 9}},
                                                                 {"it", {2, 9}},
                                                                 {"j", {2, 11}},
                                                                 {"_", {10, 10}}};
    for (const auto& [letters, span] : small) {
        for (const char* c = letters; *c != '\0'; ++c) {
            EXPECT_EQ(row_span(*c), span) << *c;
        }
    }
    EXPECT_EQ(rows_of('i')[3], 0); // the dots stand apart
    EXPECT_EQ(rows_of('j')[3], 0);
    for (char c : std::string(",.:;")) {
        EXPECT_EQ(row_span(c).second, 10) << c;
    }
    const uint8_t f[13] = {0, 0x1F, 1, 1, 1, 0x0F, 1, 1, 1, 1, 0, 0, 0}; // stem on the left
    EXPECT_TRUE(std::equal(f, f + 13, rows_of('F')));
}

TEST(FontTable, SymmetricGlyphsAgreeWithTheirMirrorsAndTurns) {
    for (char c : std::string("!\"#*+-.08:=AHIMOTUVWXY^_ovwx|")) {
        EXPECT_TRUE(mirror_images(c, c)) << c;
    }
    for (const char* pair : {"()", "<>", "[]", "{}", "/\\", "bd", "pq"}) {
        EXPECT_TRUE(mirror_images(pair[0], pair[1])) << pair;
    }
    for (char c : std::string("#$%*+-/08HIOSXZ\\|")) {
        EXPECT_TRUE(half_turns(c, c, 1, 9)) << c;
    }
    EXPECT_TRUE(half_turns('6', '9', 1, 9));
    for (const char* pair : {"nu", "oo", "xx"}) {
        EXPECT_TRUE(half_turns(pair[0], pair[1], 4, 9)) << pair;
    }
    std::set<std::vector<uint8_t>> distinct;
    for (int code = 32; code < 128; ++code) {
        distinct.emplace(rows_of(code), rows_of(code) + FONT_GLYPH_HEIGHT);
    }
    EXPECT_EQ(distinct.size(), 96u);
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

// The screen text should leave at (x, y) over before: white where a glyph of
// codes 32..127 has its bit, everything else as it was.
int text_mismatches(const std::vector<uint16_t>& before, const std::string& text, int x, int y) {
    uint16_t white = test_pixel(255, 255, 255);
    int count = 0;
    for (int py = 0; py < display.height; ++py) {
        for (int px = 0; px < display.width; ++px) {
            uint16_t expected = before[static_cast<size_t>(py) * display.width + px];
            int64_t dx = int64_t{px} - x, dy = int64_t{py} - y;
            if (dx >= 0 && dy >= 0 && dy < FONT_GLYPH_HEIGHT && dx / 6 < int64_t(text.size())) {
                int code = static_cast<unsigned char>(text[dx / 6]);
                bool lit = code >= 32 && code < 128 && ((rows_of(code)[dy] >> (dx % 6)) & 1);
                expected = lit ? white : expected;
            }
            count += *screen_pixel(px, py) != expected ? 1 : 0;
        }
    }
    return count;
}

class Font : public testing::Test {
  protected:
    void SetUp() override {
        open_test_display();
        font_build();
        paint_noise(rng);
        before = screen_copy();
    }
    std::mt19937 rng{17};
    std::vector<uint16_t> before;
};

TEST_F(Font, StatusMessageLightsOnlyItsGlyphBitsInsideItsBox) {
    draw_text(500, 320, "Click on a tile");
    EXPECT_EQ(text_mismatches(before, "Click on a tile", 500, 320), 0);
    int changed = 0;
    for (int y = 0; y < display.height; ++y) {
        for (int x = 0; x < display.width; ++x) {
            if (*screen_pixel(x, y) != before[static_cast<size_t>(y) * display.width + x]) {
                ++changed;
                ASSERT_TRUE(x >= 500 && x < 590 && y >= 320 && y < 333) << x << "," << y;
                ASSERT_EQ(*screen_pixel(x, y), test_pixel(255, 255, 255));
            }
        }
    }
    EXPECT_GT(changed, 100);
}

TEST_F(Font, BlockIsSolidWhiteAndHighCodesOnlyAdvance) {
    draw_glyph(20, 30, 127);
    EXPECT_EQ(text_mismatches(before, "\x7f", 20, 30), 0);
    for (int code = 128; code < 256; ++code) {
        SCOPED_TRACE(code);
        paint_noise(rng);
        before = screen_copy();
        draw_text(40, 50, "%cA", code);
        EXPECT_EQ(text_mismatches(before, "A", 46, 50), 0); // nothing shown, A one cell on
    }
}

TEST_F(Font, TextIsFormattedOnOneLine) {
    draw_text(30, 40, "%s", "");
    EXPECT_EQ(screen_copy(), before);
    draw_text(30, 40, "A\nB");
    EXPECT_EQ(text_mismatches(before, "A\nB", 30, 40), 0);
    paint_noise(rng);
    before = screen_copy();
    draw_text(30, 40, "%d", 42);
    EXPECT_EQ(text_mismatches(before, "42", 30, 40), 0);
}

TEST_F(Font, TextBeyond255CharactersIsCut) {
    std::string text = std::string(255, 'I') + std::string(45, 'W');
    int x = -6 * 250; // characters 250 onwards land on the screen
    draw_text(x, 60, "%s", text.c_str());
    EXPECT_EQ(text_mismatches(before, text.substr(0, 255), x, 60), 0);
}

TEST_F(Font, GlyphsOverTheEdgesDrawOnlyTheirOnScreenPixels) {
    const std::pair<int, int> places[] = {
        {-3, 5},   {637, 5},   {5, -7},      {5, 395},    {-3, -7},           {637, 395},
        {-6, 0},   {640, 0},   {0, 400},     {0, -13},    {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX},
        {-20, 50}, {620, 390}, {INT_MAX, 0}, {INT_MIN, 0}};
    for (const auto& [x, y] : places) {
        for (const char* text : {"\x7f", "Mahjong\x7f"}) {
            SCOPED_TRACE(testing::Message() << x << "," << y << " " << text);
            paint_noise(rng);
            before = screen_copy();
            draw_text(x, y, "%s", text);
            EXPECT_EQ(text_mismatches(before, text, x, y), 0);
        }
    }
}

TEST_F(Font, WithoutGlyphPixelsTextDrawsNothing) {
    uint16_t* built = glyph_pixels;
    glyph_pixels = nullptr;
    draw_text(10, 10, "Click on a tile");
    draw_glyph(10, 30, 127);
    glyph_pixels = built;
    EXPECT_EQ(screen_copy(), before);
}

} // namespace
