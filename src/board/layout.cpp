// The board's fixed shape, the tile records and the grid-to-screen mapping.
#include "board/layout.hpp"

Tile tiles[TILE_COUNT];
int32_t tile_count;

// clang-format off
const LayoutEntry layout_table[LAYOUT_ENTRIES + 1] = {
    // grid row 0: tiles 0-11
    {1, 2, 0}, {1, 4, 0}, {1, 6, 0}, {1, 8, 0}, {1, 10, 0}, {1, 12, 0},
    {1, 14, 0}, {1, 16, 0}, {1, 18, 0}, {1, 20, 0}, {1, 22, 0}, {1, 24, 0},
    // grid row 2: tiles 12-25
    {1, 6, 2}, {2, 8, 2}, {2, 10, 2}, {2, 12, 2}, {2, 14, 2}, {2, 16, 2}, {2, 18, 2}, {1, 20, 2},
    // grid row 4: tiles 26-45
    {1, 4, 4}, {1, 6, 4}, {2, 8, 4}, {3, 10, 4}, {3, 12, 4},
    {3, 14, 4}, {3, 16, 4}, {2, 18, 4}, {1, 20, 4}, {1, 22, 4},
    // grid row 6: tiles 46-69
    {1, 2, 6}, {1, 4, 6}, {1, 6, 6}, {2, 8, 6}, {3, 10, 6}, {4, 12, 6},
    {4, 14, 6}, {3, 16, 6}, {2, 18, 6}, {1, 20, 6}, {1, 22, 6}, {1, 24, 6},
    // grid row 7: the single tiles at both ends and the top tile, 70-73
    {1, 0, 7}, {1, 26, 7}, {1, 28, 7}, {-5, 13, 7},
    // grid row 8: tiles 74-97
    {1, 2, 8}, {1, 4, 8}, {1, 6, 8}, {2, 8, 8}, {3, 10, 8}, {4, 12, 8},
    {4, 14, 8}, {3, 16, 8}, {2, 18, 8}, {1, 20, 8}, {1, 22, 8}, {1, 24, 8},
    // grid row 10: tiles 98-117
    {1, 4, 10}, {1, 6, 10}, {2, 8, 10}, {3, 10, 10}, {3, 12, 10},
    {3, 14, 10}, {3, 16, 10}, {2, 18, 10}, {1, 20, 10}, {1, 22, 10},
    // grid row 12: tiles 118-131
    {1, 6, 12}, {2, 8, 12}, {2, 10, 12}, {2, 12, 12}, {2, 14, 12}, {2, 16, 12}, {2, 18, 12}, {1, 20, 12},
    // grid row 14: tiles 132-143
    {1, 2, 14}, {1, 4, 14}, {1, 6, 14}, {1, 8, 14}, {1, 10, 14}, {1, 12, 14},
    {1, 14, 14}, {1, 16, 14}, {1, 18, 14}, {1, 20, 14}, {1, 22, 14}, {1, 24, 14},
    // end of the table
    {0, 0, 0},
};
// clang-format on

namespace {

void fill_record(const LayoutEntry& entry, int layer) {
    Tile& tile = tiles[tile_count++];
    tile.column = static_cast<uint8_t>(entry.column);
    tile.row = static_cast<uint8_t>(entry.row);
    tile.layer = layer;
    tile.flags = 0;
}

} // namespace

void build_tiles(const LayoutEntry* table) {
    tile_count = 0;
    for (const LayoutEntry* entry = table; entry->count != 0; ++entry) {
        if (entry->count > 0) {
            for (int layer = 0; layer < entry->count && tile_count < TILE_COUNT; ++layer) {
                fill_record(*entry, layer);
            }
        } else if (tile_count < TILE_COUNT) {
            fill_record(*entry, ~entry->count);
        }
        if (tile_count == TILE_COUNT) {
            return;
        }
    }
    for (int i = tile_count; i < TILE_COUNT; ++i) {
        tiles[i] = Tile{};
        tiles[i].flags = TILE_REMOVED;
    }
}

void place_tiles() {
    for (Tile& tile : tiles) {
        tile.screen_x = tile_screen_x(tile.column, tile.layer);
        tile.screen_y = tile_screen_y(tile.row, tile.layer);
    }
}
