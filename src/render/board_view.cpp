// Drawing the board: background, status line, raised tiles, edges and shadows.
#include "render/board_view.hpp"

#include "board/layout.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "render/draw.hpp"
#include "render/font.hpp"

namespace {

constexpr int SHADOW_SHIFT = 8; // a shadow moves this far right and up per level of height
constexpr int DRAW_LEVELS = 7;  // levels 0..6 are painted
// The status line starts this far left of the right edge and up from the bottom.
constexpr int STATUS_RIGHT = 140;
constexpr int STATUS_BOTTOM = 80;

constexpr uint32_t COLOUR_OUTLINE = 0x303030;    // dark lines at the top, right and covered bottom
constexpr uint32_t COLOUR_SIDE_INNER = 0xE7E3C7; // first strip of an exposed left or bottom side
constexpr uint32_t COLOUR_SIDE_OUTER = 0xF7F3F7; // second strip
// Shown in place of the faces while no tile set is loaded.
constexpr uint32_t COLOUR_BLANK_FACE = 0xEFEBD7;

struct Rect {
    int x, y, width, height;
};

// Shadow footprint of a tile, relative to its shadow origin: a slanted band
// along the top edge and a slanted strip along the right edge, joined at +16.
// clang-format off
constexpr Rect SHADOW_NORTH[] = {
    {6, -8, 40, 1}, {4, -7, 43, 1}, {2, -6, 43, 1}, {1, -5, 43, 1},
    {0, -4, 43, 1}, {-1, -3, 43, 1}, {-2, -2, 43, 1}, {-3, -1, 43, 1},
};
constexpr Rect SHADOW_EAST_UPPER[] = {
    {46, -6, 2, 23}, {45, -6, 1, 24}, {44, -5, 1, 24}, {43, -4, 1, 24},
    {42, -3, 1, 24}, {41, -2, 1, 24}, {40, -1, 1, 24},
};
constexpr Rect SHADOW_EAST_LOWER[] = {
    {47, 16, 1, 24}, {46, 17, 1, 24}, {45, 18, 1, 24}, {44, 19, 1, 24},
    {43, 20, 1, 24}, {42, 21, 1, 24}, {41, 22, 1, 24}, {40, 23, 1, 24},
};
constexpr Rect SHADOW_CORNER = {38, 0, 2, 2};
// clang-format on

// When an edge of the block is filled: always, or by one open-side flag.
enum class When { always, open, closed };

struct EdgeFill {
    When when;
    uint32_t side; // the TILE_OPEN_* flag looked at
    Rect rect;     // relative to the tile's screen position
    uint32_t colour;
};

// The block's edges in paint order: two light strips on an exposed left side,
// dark lines at the right and the top, and at the bottom two light strips
// where it is exposed or a dark line where a tile of its layer lies below.
// clang-format off
constexpr EdgeFill EDGE_FILLS[] = {
    {When::open,   TILE_OPEN_WEST,  {-4, 2, 2, 48},  COLOUR_SIDE_INNER},
    {When::open,   TILE_OPEN_WEST,  {-6, 4, 2, 48},  COLOUR_SIDE_OUTER},
    {When::always, 0,               {38, 2, 2, 48},  COLOUR_OUTLINE},
    {When::always, 0,               {-2, 0, 42, 2},  COLOUR_OUTLINE},
    {When::open,   TILE_OPEN_SOUTH, {-2, 48, 40, 2}, COLOUR_SIDE_INNER},
    {When::open,   TILE_OPEN_SOUTH, {-4, 50, 40, 2}, COLOUR_SIDE_OUTER},
    {When::closed, TILE_OPEN_SOUTH, {-2, 48, 42, 2}, COLOUR_OUTLINE},
};
// clang-format on

// The face, relative to the tile's screen position: 2 left of and 2 below it.
constexpr Rect FACE_RECT = {-2, 2, TILE_FACE_WIDTH, TILE_FACE_HEIGHT};

bool edge_applies(const EdgeFill& fill, uint32_t flags) {
    return fill.when == When::always || (fill.when == When::open) == ((flags & fill.side) != 0);
}

template <int N> void mark_rects(const Rect (&rects)[N], int sx, int sy) {
    for (const Rect& r : rects) {
        mask_rect(sx + r.x, sy + r.y, r.width, r.height, 1);
    }
}

// Marks the shadow that tile throws onto the surface at level: moved
// SHADOW_SHIFT right and up per level of height above it.
void mark_shadow(const Tile& tile, int level) {
    int d = SHADOW_SHIFT * (tile.layer - level);
    int sx = tile.screen_x + d;
    int sy = tile.screen_y - d;
    if ((tile.flags & TILE_OPEN_NORTH) != 0) {
        mark_rects(SHADOW_NORTH, sx, sy);
    }
    if ((tile.flags & TILE_OPEN_EAST_UPPER) != 0) {
        mark_rects(SHADOW_EAST_UPPER, sx, sy);
    }
    if ((tile.flags & TILE_OPEN_EAST_LOWER) != 0) {
        mark_rects(SHADOW_EAST_LOWER, sx, sy);
    }
    mask_rect(sx + SHADOW_CORNER.x, sy + SHADOW_CORNER.y, SHADOW_CORNER.width, SHADOW_CORNER.height,
              1);
}

void draw_face(const Tile& tile, int x, int y) {
    if (tileset_image.pixels == nullptr) {
        fill_rect_unmask(x, y, TILE_FACE_WIDTH, TILE_FACE_HEIGHT, COLOUR_BLANK_FACE);
        return;
    }
    blit_image(x, y, &tileset_image, (tile.face % TILESET_COLUMNS) * TILESET_CELL_WIDTH,
               (tile.face / TILESET_COLUMNS) * TILESET_CELL_HEIGHT, TILE_FACE_WIDTH,
               TILE_FACE_HEIGHT);
}

// The block: its edges, the face (brightened when selected), and no shadow on the face.
void paint_tile(const Tile& tile) {
    for (const EdgeFill& fill : EDGE_FILLS) {
        if (edge_applies(fill, tile.flags)) {
            fill_rect_unmask(tile.screen_x + fill.rect.x, tile.screen_y + fill.rect.y,
                             fill.rect.width, fill.rect.height, fill.colour);
        }
    }
    int x = tile.screen_x + FACE_RECT.x;
    int y = tile.screen_y + FACE_RECT.y;
    draw_face(tile, x, y);
    if ((tile.flags & TILE_SELECTED) != 0) {
        brighten_rect(x, y, FACE_RECT.width, FACE_RECT.height);
    }
    mask_rect(x, y, FACE_RECT.width, FACE_RECT.height, 0);
}

// Painter's order by layer: at each level, first the shadows of every tile at
// or above it, then the tiles of that level, which wipe the shadow under them.
void draw_levels() {
    for (int level = 0; level < DRAW_LEVELS; ++level) {
        for (const Tile& tile : tiles) {
            if (tile.layer >= level && (tile.flags & TILE_REMOVED) == 0) {
                mark_shadow(tile, level);
            }
        }
        for (const Tile& tile : tiles) {
            if (tile.layer == level && (tile.flags & TILE_REMOVED) == 0) {
                paint_tile(tile);
            }
        }
    }
}

} // namespace

void draw_board() {
    restore_screen(0);
    // The message is printed as a string, never read as a format.
    draw_text(display.width - STATUS_RIGHT, display.height - STATUS_BOTTOM, "%s", status_text);
    update_free_tiles();
    mask_clear();
    place_tiles();
    draw_levels();
    dim_masked(mask_bitmap);
}
