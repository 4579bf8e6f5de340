// Which tiles are free, which sides are open, and which faces make a pair.
#pragma once

// Recomputes TILE_BLOCKED and the five open-side bits of all records from the
// tiles not removed; leaves every other bit as it was.
void update_free_tiles();

// 1 when faces a and b form a pair: two equal plain faces, any two flowers,
// any two seasons (the face groups of layout.hpp). Faces 34 and 35 match nothing.
int faces_match(int a, int b);
