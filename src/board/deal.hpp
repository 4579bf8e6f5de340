// Dealing a game that can always be cleared, by playing a random game in advance.
#pragma once

#include "board/layout.hpp"

#include <cstdint>

// Rebuilds tiles from table and gives them faces so that the deal can be
// cleared: each plain face four times, each flower and season once (the face
// groups of layout.hpp). Afterwards nothing is removed or selected,
// tile_count is 144, the history is empty, the status line says "Click on a
// tile", and the screen positions and blocked marks describe the full board.
// Uses rand().
void deal_board(const LayoutEntry* table);

// What the last deal's simulated game did, for tests and benchmarks:
// the tile indices in the order they were taken (pairs at 2k, 2k + 1), and
// how many attempts the game needed. Written only by deal_board.
extern int32_t deal_solution[TILE_COUNT];
extern int32_t deal_attempts;

// The order in which deal_board's qsort puts its sort keys (a random part in
// bits 8..23, a payload of a face or tile index in bits 0..7): ascending, so
// that keys with equal random parts go by their payload. Takes two int32_t.
int compare_keys(const void* first, const void* second);
