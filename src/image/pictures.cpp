// Cycling through the numbered tile-set and background pictures in data/.
#include "image/pictures.hpp"

#include "platform/display.hpp"
#include "render/draw.hpp"

#include <algorithm>
#include <cassert>
#include <cstdio>

int32_t tileset_index;
int32_t background_index;
IndexedImage tileset_image;

namespace {

constexpr const char* TILESET_PATTERN = "data/tiles%d.pcx";
constexpr const char* BACKGROUND_PATTERN = "data/bg%d.pcx";

enum class Kind { tileset, background };

int load_numbered(Kind kind, int32_t index, IndexedImage* image) {
    char path[64];
    std::snprintf(path, sizeof path, kind == Kind::tileset ? TILESET_PATTERN : BACKGROUND_PATTERN,
                  index);
    int code = pcx_load(path, image);
    if (code == PCX_OK && kind == Kind::tileset &&
        (image->width < TILESET_MIN_WIDTH || image->height < TILESET_MIN_HEIGHT)) {
        image_free(image);
        *image = IndexedImage{};
        return TILESET_ERR_TOO_SMALL;
    }
    return code;
}

// Tries the next number, then goes back to 0 after any number that fails;
// gives up when picture 0 fails.
int load_next(Kind kind, int32_t* index, IndexedImage* image) {
    for (;;) {
        ++*index;
        int code = load_numbered(kind, *index, image);
        if (code == PCX_OK || *index == 0) {
            return code;
        }
        *index = -1;
    }
}

// Copies of the picture from the top-left corner, row by row, cut at the screen's edges.
void tile_over_screen(const IndexedImage& picture) {
    assert(picture.width > 0 && picture.height > 0);
    for (int y = 0; y < display.height; y += picture.height) {
        for (int x = 0; x < display.width; x += picture.width) {
            blit_image(x, y, &picture, 0, 0, std::min(picture.width, display.width - x),
                       std::min(picture.height, display.height - y));
        }
    }
}

} // namespace

int next_tileset() {
    image_free(&tileset_image);
    return load_next(Kind::tileset, &tileset_index, &tileset_image);
}

int next_background() {
    IndexedImage picture{};
    int code = load_next(Kind::background, &background_index, &picture);
    if (code != PCX_OK) {
        return code;
    }
    tile_over_screen(picture);
    save_screen(0);
    image_free(&picture);
    return PCX_OK;
}
