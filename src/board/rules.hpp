// Which tiles are free, which sides are open, and which faces make a pair.
#pragma once

// Recomputes TILE_BLOCKED and the five open-side bits of all records from the
// tiles not removed; leaves every other bit as it was.
void update_free_tiles();

// 1 when faces a and b form a pair: equal faces 0..33, any two of 36..39,
// any two of 40..43. Faces 34 and 35 match nothing.
int faces_match(int a, int b);
