// Drawing the board: background, status line, raised tiles, edges and shadows.
#pragma once

#include <cstdint>

constexpr int SHADOW_SHIFT = 8;
constexpr int DRAW_LEVELS = 7;
constexpr int STATUS_RIGHT = 140;
constexpr int STATUS_BOTTOM = 80;

constexpr uint32_t COLOUR_OUTLINE = 0x303030;
constexpr uint32_t COLOUR_SIDE_INNER = 0xE7E3C7;
constexpr uint32_t COLOUR_SIDE_OUTER = 0xF7F3F7;

// Composes a whole frame from save buffer 0: the status line, then the tiles
// level by level with their shadows, then one darkening pass. Recomputes the
// screen positions and free-tile marks of every record. Does not present.
void draw_board();
