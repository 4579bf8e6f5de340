// The player's moves: selection by mouse, taking matching pairs, undo and redo.
#include "board/moves.hpp"

#include "board/rules.hpp"

const char* const STATUS_CLICK_TILE = "Click on a tile";
const char* const STATUS_CLICK_ANOTHER = "Click on another tile";

const char* status_text = STATUS_CLICK_TILE;

int32_t history[TILE_COUNT];
int32_t history_len;
int32_t redo_count;

namespace {

constexpr int NO_TILE = -1;

bool is_free(const Tile& tile) {
    return (tile.flags & (TILE_BLOCKED | TILE_REMOVED)) == 0;
}

bool box_holds(const Tile& tile, int x, int y) {
    return tile.screen_x <= x && x < tile.screen_x + TILE_FACE_WIDTH && tile.screen_y <= y &&
           y < tile.screen_y + TILE_FACE_HEIGHT;
}

// The free tile whose click box holds (x, y): the highest layer wins, the
// lowest index among equal layers. NO_TILE when there is none.
int hit_tile(int x, int y) {
    int choice = NO_TILE;
    for (int i = 0; i < TILE_COUNT; ++i) {
        const Tile& tile = tiles[i];
        if (!is_free(tile) || !box_holds(tile, x, y)) {
            continue;
        }
        if (choice == NO_TILE || tile.layer > tiles[choice].layer) {
            choice = i;
        }
    }
    return choice;
}

// The first selected tile other than t, or NO_TILE.
int other_selected(int t) {
    for (int i = 0; i < TILE_COUNT; ++i) {
        if (i != t && (tiles[i].flags & TILE_SELECTED) != 0) {
            return i;
        }
    }
    return NO_TILE;
}

// Takes s and t off the board as the next pair of the history.
void take_pair(int s, int t) {
    tiles[s].flags = (tiles[s].flags | TILE_REMOVED) & ~TILE_SELECTED;
    tiles[t].flags |= TILE_REMOVED;
    history[history_len] = s;
    history[history_len + 1] = t;
    history_len += 2;
    // Pairs undone before can no longer be taken again.
    redo_count = 0;
    status_text = STATUS_CLICK_TILE;
}

} // namespace

int click_tile(int code, int x, int y) {
    if (code != CLICK_MOUSE_DOWN) {
        return 0;
    }
    // Pairs taken earlier in this batch of events, or a deal, may have freed
    // tiles since the last draw, and before the first draw nothing is placed.
    place_tiles();
    update_free_tiles();
    int t = hit_tile(x, y);
    if (t == NO_TILE) {
        return 0;
    }
    tiles[t].flags ^= TILE_SELECTED;
    if ((tiles[t].flags & TILE_SELECTED) == 0) {
        status_text = STATUS_CLICK_TILE;
        return 1;
    }
    int s = other_selected(t);
    if (s != NO_TILE && !is_free(tiles[s])) {
        // An undo has covered the selected tile again: it can no longer be
        // taken, so it is let go and the click starts a new selection.
        tiles[s].flags &= ~TILE_SELECTED;
        s = NO_TILE;
    }
    if (s == NO_TILE) {
        status_text = STATUS_CLICK_ANOTHER;
        return 1;
    }
    if (faces_match(tiles[s].face, tiles[t].face) != 0) {
        take_pair(s, t);
    }
    tiles[t].flags &= ~TILE_SELECTED;
    return 1;
}

bool undo_move() {
    if (history_len == 0) {
        return false;
    }
    tiles[history[history_len - 1]].flags &= ~TILE_REMOVED;
    tiles[history[history_len - 2]].flags &= ~TILE_REMOVED;
    history_len -= 2;
    ++redo_count;
    return true;
}

void reset_moves() {
    history_len = 0;
    redo_count = 0;
    status_text = STATUS_CLICK_TILE;
}

bool redo_move() {
    if (redo_count == 0) {
        return false;
    }
    for (int entry = history_len; entry < history_len + 2; ++entry) {
        Tile& tile = tiles[history[entry]];
        if ((tile.flags & TILE_SELECTED) != 0) {
            status_text = STATUS_CLICK_TILE; // the selection goes with the pair
        }
        tile.flags = (tile.flags | TILE_REMOVED) & ~TILE_SELECTED;
    }
    history_len += 2;
    --redo_count;
    return true;
}
