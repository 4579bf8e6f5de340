// Free-tile analysis over an occupancy grid, and the rule that pairs faces.
#include "board/rules.hpp"

#include "board/layout.hpp"

#include <cassert>
#include <cstdint>
#include <cstring>

namespace {

// The occupancy grid: bit n of a cell is set when a tile of layer n covers it.
// Grid position (column, row) is cell (column + GRID_MARGIN, row + GRID_MARGIN),
// so the neighbour cells one to the left and above and two to the right and
// below stay inside the grid.
constexpr int GRID_SIZE = 40;
constexpr int GRID_MARGIN = 2;
using Occupancy = uint8_t[GRID_SIZE][GRID_SIZE];

constexpr uint32_t ANALYSIS_BITS = TILE_BLOCKED | TILE_OPEN_EAST_UPPER | TILE_OPEN_EAST_LOWER |
                                   TILE_OPEN_NORTH | TILE_OPEN_WEST | TILE_OPEN_SOUTH;

// Looks at the cell (dc, dr) away from the tile's own top-left cell.
uint8_t cell(const Occupancy& grid, const Tile& tile, int dc, int dr) {
    return grid[tile.row + GRID_MARGIN + dr][tile.column + GRID_MARGIN + dc];
}

// Clears the analysis bits of every record and marks the cells of the tiles
// still on the board.
void fill_grid(Occupancy& grid) {
    std::memset(grid, 0, sizeof(Occupancy));
    for (Tile& tile : tiles) {
        // A byte per cell holds layers 0..7; the margin holds columns and rows up to 35.
        assert(tile.layer >= 0 && tile.layer < 8);
        assert(tile.column + GRID_MARGIN + 2 < GRID_SIZE && tile.row + GRID_MARGIN + 2 < GRID_SIZE);
        tile.flags &= ~ANALYSIS_BITS;
        if ((tile.flags & TILE_REMOVED) != 0) {
            continue;
        }
        uint8_t bit = static_cast<uint8_t>(1u << tile.layer);
        uint8_t* upper = &grid[tile.row + GRID_MARGIN][tile.column + GRID_MARGIN];
        uint8_t* lower = &grid[tile.row + GRID_MARGIN + 1][tile.column + GRID_MARGIN];
        upper[0] |= bit;
        upper[1] |= bit;
        lower[0] |= bit;
        lower[1] |= bit;
    }
}

// The blocked mark and the open sides of one tile, from the grid.
uint32_t analyse_tile(const Occupancy& grid, const Tile& tile) {
    unsigned bit = 1u << tile.layer;
    unsigned left = cell(grid, tile, -1, 0) | cell(grid, tile, -1, 1);
    unsigned east_upper = cell(grid, tile, 2, 0);
    unsigned east_lower = cell(grid, tile, 2, 1);
    unsigned right = east_upper | east_lower;
    unsigned own = cell(grid, tile, 0, 0) | cell(grid, tile, 1, 0) | cell(grid, tile, 0, 1) |
                   cell(grid, tile, 1, 1);
    unsigned north = cell(grid, tile, 0, -1) | cell(grid, tile, 1, -1);
    unsigned south = cell(grid, tile, 0, 2) | cell(grid, tile, 1, 2);

    uint32_t flags = 0;
    // Only the next layer up covers a tile; lower layers beside it never block it.
    if ((left & right & bit) != 0 || (own & (bit << 1)) != 0) {
        flags |= TILE_BLOCKED;
    }
    flags |= (north & bit) == 0 ? TILE_OPEN_NORTH : 0;
    flags |= (east_upper & bit) == 0 ? TILE_OPEN_EAST_UPPER : 0;
    flags |= (east_lower & bit) == 0 ? TILE_OPEN_EAST_LOWER : 0;
    flags |= (left & bit) == 0 ? TILE_OPEN_WEST : 0;
    flags |= (south & bit) == 0 ? TILE_OPEN_SOUTH : 0;
    return flags;
}

constexpr bool in_group(int face, int first) {
    return face >= first && face < first + FACE_GROUP_SIZE;
}

} // namespace

void update_free_tiles() {
    Occupancy grid;
    fill_grid(grid);
    // Removed records are analysed too; nothing looks at their marks.
    for (Tile& tile : tiles) {
        tile.flags |= analyse_tile(grid, tile);
    }
}

int faces_match(int a, int b) {
    if (a < FACE_PLAIN_COUNT && b < FACE_PLAIN_COUNT) {
        return a == b ? 1 : 0;
    }
    if (in_group(a, FACE_FLOWER_FIRST) && in_group(b, FACE_FLOWER_FIRST)) {
        return 1;
    }
    if (in_group(a, FACE_SEASON_FIRST) && in_group(b, FACE_SEASON_FIRST)) {
        return 1;
    }
    return 0;
}
