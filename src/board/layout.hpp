// The board's fixed shape, the tile records and the grid-to-screen mapping.
#pragma once

#include <cstdint>

constexpr int TILE_COUNT = 144;

// Bits of Tile::flags.
constexpr uint32_t TILE_BLOCKED = 0x01;         // may not be taken
constexpr uint32_t TILE_REMOVED = 0x02;         // taken off the board
constexpr uint32_t TILE_OPEN_EAST_UPPER = 0x04; // no same-layer tile right of the upper half
constexpr uint32_t TILE_OPEN_EAST_LOWER = 0x08; // no same-layer tile right of the lower half
constexpr uint32_t TILE_OPEN_NORTH = 0x10;      // no same-layer tile directly above
constexpr uint32_t TILE_OPEN_WEST = 0x20;       // no same-layer tile on the left
constexpr uint32_t TILE_OPEN_SOUTH = 0x40;      // no same-layer tile directly below
constexpr uint32_t TILE_SELECTED = 0x100;       // chosen by the player, drawn highlighted

// One entry of the layout table. count n > 0: a stack of n tiles on layers
// 0..n-1; n < 0: one tile on layer -n-1 (~n); 0: end of the table.
// Positions are in half-tile grid units.
struct LayoutEntry {
    int32_t count;
    int32_t column;
    int32_t row;
};

constexpr int LAYOUT_ENTRIES = 88;
// The built-in pyramid: 88 entries by grid row, then the terminator.
extern const LayoutEntry layout_table[LAYOUT_ENTRIES + 1];

// Face numbers: which picture of the tile set a tile shows, and what it
// matches. Each plain face matches only itself and is dealt FACE_GROUP_SIZE
// times; the two faces after them are never dealt and match nothing; then come
// the flowers and the seasons, FACE_GROUP_SIZE faces each, each dealt once,
// any two of one group matching each other.
constexpr int FACE_GROUP_SIZE = 4;
constexpr int FACE_PLAIN_COUNT = 34;  // faces 0..33
constexpr int FACE_FLOWER_FIRST = 36; // faces 36..39
constexpr int FACE_SEASON_FIRST = 40; // faces 40..43
constexpr int FACE_COUNT = 44;        // the faces a tile set holds
static_assert(FACE_SEASON_FIRST == FACE_FLOWER_FIRST + FACE_GROUP_SIZE &&
              FACE_COUNT == FACE_SEASON_FIRST + FACE_GROUP_SIZE);
static_assert(FACE_PLAIN_COUNT * FACE_GROUP_SIZE + 2 * FACE_GROUP_SIZE == TILE_COUNT,
              "every face of the dealt set has a place on the board");

struct Tile {
    uint8_t column;   // grid column
    uint8_t row;      // grid row
    int32_t screen_x; // left edge of the click box, pixels
    int32_t screen_y; // top edge of the click box, pixels
    int32_t layer;    // 0 lies on the table
    int32_t face;     // 0..FACE_COUNT - 1: picture and match group
    uint32_t flags;   // TILE_* bits
};

// The board: records in layout order, a tile's index is its identity.
// Static storage; rebuilt by every deal. Every loop over the board runs over
// all TILE_COUNT records: one that a layout leaves unfilled is off the board
// (TILE_REMOVED), which never happens with the built-in layout.
extern Tile tiles[TILE_COUNT];
// Number of records filled by the last build_tiles (TILE_COUNT after every deal).
extern int32_t tile_count;

// Grid-to-screen mapping: one grid step is half a tile, each layer up shifts
// the tile LAYER_SHIFT pixels right and up.
constexpr int GRID_STEP_X = 21;
constexpr int GRID_STEP_Y = 24;
constexpr int LAYER_SHIFT = 4;
constexpr int BOARD_ORIGIN_X = 2;
constexpr int BOARD_ORIGIN_Y = 10;
// The click box, and the face shown in it.
constexpr int TILE_FACE_WIDTH = 40;
constexpr int TILE_FACE_HEIGHT = 46;

inline int32_t tile_screen_x(int column, int layer) {
    return GRID_STEP_X * column + LAYER_SHIFT * layer + BOARD_ORIGIN_X;
}
inline int32_t tile_screen_y(int row, int layer) {
    return GRID_STEP_Y * row - LAYER_SHIFT * layer + BOARD_ORIGIN_Y;
}

// Fills records from table (up to its terminator, never more than TILE_COUNT),
// each with its column, row, layer and flags 0; sets tile_count. The records
// left over are cleared and marked TILE_REMOVED.
void build_tiles(const LayoutEntry* table);

// Sets screen_x and screen_y of all TILE_COUNT records from the mapping.
void place_tiles();
