// Writes the pictures the end-to-end test plays with into the directory given:
// two tile sets with one distinct colour per face, and a plain background.
#include "support.hpp"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_e2e_pictures DATA_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    write_file(dir + "/tiles0.pcx", face_tileset_pcx());
    write_file(dir + "/tiles1.pcx", face_tileset_pcx(30)); // no colour within 30 of tiles0's
    constexpr int size = 64;
    write_file(dir + "/bg0.pcx", pcx_8bit(size, size, std::vector<uint8_t>(size * size, 1),
                                          {{0, 0, 0}, {200, 30, 200}}));
    return 0;
}
