// Drawing the board: background, status line, raised tiles, edges and shadows.
#pragma once

// Composes a whole frame from save buffer 0: the status line, then the tiles
// level by level with their shadows, then one darkening pass. Recomputes the
// screen positions and free-tile marks of every record. Does not present.
// Expects the display open, the font built, the mask allocated and a deal
// made; while no tile set is loaded the faces are drawn blank.
void draw_board();
