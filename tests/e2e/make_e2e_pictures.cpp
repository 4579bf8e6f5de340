// Writes the pictures the end-to-end test plays with and prints the board it needs to know.
//
// With a directory, writes two tile sets with one distinct colour per face and a
// plain background into it. Always prints, from the game's own tables and rules:
//   tile COLUMN ROW LAYER X Y FREE   one line per record, in index order, on a full
//                                    board: (X, Y) is the middle of its click box, FREE 0 or 1
//   face FACE GROUP RED GREEN BLUE   one line per face: the lowest face it matches
//                                    (-1: none) and its colour in tiles0.pcx
#include "board/layout.hpp"
#include "board/rules.hpp"
#include "support.hpp"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: make_e2e_pictures [DATA_DIR]\n");
        return 2;
    }
    if (argc == 2) {
        std::string dir = argv[1];
        write_file(dir + "/tiles0.pcx", face_tileset_pcx());
        write_file(dir + "/tiles1.pcx", face_tileset_pcx(30)); // no colour within 30 of tiles0's
        constexpr int size = 64;
        write_file(dir + "/bg0.pcx", pcx_8bit(size, size, std::vector<uint8_t>(size * size, 1),
                                              {{0, 0, 0}, {200, 30, 200}}));
    }
    build_tiles(layout_table);
    place_tiles();
    update_free_tiles();
    for (const Tile& t : tiles) {
        std::printf("tile %d %d %d %d %d %d\n", t.column, t.row, t.layer,
                    t.screen_x + TILE_FACE_WIDTH / 2, t.screen_y + TILE_FACE_HEIGHT / 2,
                    !(t.flags & TILE_BLOCKED));
    }
    constexpr int faces = FACE_COUNT;
    for (int face = 0; face < faces; ++face) {
        int group = 0;
        while (group < faces && !faces_match(face, group)) {
            ++group;
        }
        Rgb c = face_colour(face);
        std::printf("face %d %d %d %d %d\n", face, group < faces ? group : -1, c.red, c.green,
                    c.blue);
    }
    return 0;
}
