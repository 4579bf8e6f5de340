// Prints the full board as the game's own tables and rules make it, for the end-to-end test and
// tools/screenshot.py: "tile X Y FREE LAYER" per record in index order, (X, Y) the middle of its
// click box and FREE 0 or 1, then "face FACE GROUP" per face, GROUP the lowest face it matches.
#include "board/layout.hpp"
#include "board/rules.hpp"

#include <cstdio>

int main() {
    build_tiles(layout_table);
    place_tiles();
    update_free_tiles();
    for (const Tile& t : tiles) {
        std::printf("tile %d %d %d %d\n", t.screen_x + TILE_FACE_WIDTH / 2,
                    t.screen_y + TILE_FACE_HEIGHT / 2, (t.flags & TILE_BLOCKED) == 0, t.layer);
    }
    for (int face = 0; face < FACE_COUNT; ++face) {
        int group = 0;
        while (group < face && faces_match(face, group) == 0) {
            ++group;
        }
        std::printf("face %d %d\n", face, group);
    }
    return 0;
}
