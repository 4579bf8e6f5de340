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

// Shown in place of the faces while no tile set is loaded.
constexpr uint32_t COLOUR_BLANK_FACE = 0xEFEBD7;

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

// The block: light left and bottom sides where exposed, dark lines at the
// top, right and (where covered) bottom, the face, and no shadow on the face.
void paint_tile(const Tile& tile) {
    int x = tile.screen_x;
    int y = tile.screen_y;
    if ((tile.flags & TILE_OPEN_WEST) != 0) {
        fill_rect_unmask(x - 4, y + 2, 2, 48, COLOUR_SIDE_INNER);
        fill_rect_unmask(x - 6, y + 4, 2, 48, COLOUR_SIDE_OUTER);
    }
    fill_rect_unmask(x + 38, y + 2, 2, 48, COLOUR_OUTLINE);
    fill_rect_unmask(x - 2, y, 42, 2, COLOUR_OUTLINE);
    if ((tile.flags & TILE_OPEN_SOUTH) != 0) {
        fill_rect_unmask(x - 2, y + 48, 40, 2, COLOUR_SIDE_INNER);
        fill_rect_unmask(x - 4, y + 50, 40, 2, COLOUR_SIDE_OUTER);
    } else {
        fill_rect_unmask(x - 2, y + 48, 42, 2, COLOUR_OUTLINE);
    }
    draw_face(tile, x - 2, y + 2);
    if ((tile.flags & TILE_SELECTED) != 0) {
        brighten_rect(x - 2, y + 2, TILE_FACE_WIDTH, TILE_FACE_HEIGHT);
    }
    mask_rect(x - 2, y + 2, TILE_FACE_WIDTH, TILE_FACE_HEIGHT, 0);
}

// Painter's order by layer: at each level, first the shadows of every tile at
// or above it, then the tiles of that level, which wipe the shadow under them.
void draw_levels() {
    for (int level = 0; level < DRAW_LEVELS; ++level) {
        for (int i = 0; i < tile_count; ++i) {
            if (tiles[i].layer >= level && (tiles[i].flags & TILE_REMOVED) == 0) {
                mark_shadow(tiles[i], level);
            }
        }
        for (int i = 0; i < tile_count; ++i) {
            if (tiles[i].layer == level && (tiles[i].flags & TILE_REMOVED) == 0) {
                paint_tile(tiles[i]);
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
