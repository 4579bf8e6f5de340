// The player's moves: selecting, taking matching pairs, undo and redo.
#pragma once

#include "board/layout.hpp"

#include <cstdint>

// The event code of a mouse button going down, as the input layer queues it
// (EV_MOUSE_DOWN); the board knows nothing of the input layer.
constexpr int CLICK_MOUSE_DOWN = 1024;

extern const char* const STATUS_CLICK_TILE;    // "Click on a tile"
extern const char* const STATUS_CLICK_ANOTHER; // "Click on another tile"

// The message of the status line: one of the two above, "Click on another
// tile" exactly while one tile is selected. Set at start-up, changed
// afterwards only by this module.
extern const char* status_text;

// Taken pairs (first history_len entries, in order, first-selected tile first),
// then the undone pairs (2 x redo_count entries, most recently undone first).
// Reset by every deal.
extern int32_t history[TILE_COUNT];
extern int32_t history_len;
extern int32_t redo_count;

// Handles one mouse event; acts only on CLICK_MOUSE_DOWN. Brings the screen
// positions and free-tile marks up to date, then selects, deselects or takes a
// pair with the free tile under (x, y). A selected tile that is no longer free
// (an undo covered it again) never forms a pair: it is let go, and the clicked
// tile becomes the selection. Returns 1 when the board or the status text may
// have changed, 0 when nothing did.
int click_tile(int code, int x, int y);

// Empties the history and sets "Click on a tile"; called by every deal,
// which leaves nothing selected.
void reset_moves();

// Puts the last taken pair back; false when there is none. A selected tile
// stays selected, even one the pair covers again.
bool undo_move();

// Takes the last undone pair again, deselecting its tiles (the status line
// follows); false when there is none.
bool redo_move();
