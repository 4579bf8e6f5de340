// Cycling through the numbered tile-set and background pictures in data/.
#pragma once

#include "board/layout.hpp"
#include "image/pcx.hpp"

#include <cstdint>

// A tile set holds the faces in cells of TILESET_CELL_WIDTH x
// TILESET_CELL_HEIGHT, TILESET_COLUMNS to a row: face f is the top-left
// TILE_FACE_WIDTH x TILE_FACE_HEIGHT of the cell in column f % TILESET_COLUMNS
// and row f / TILESET_COLUMNS.
constexpr int TILESET_CELL_WIDTH = 42;
constexpr int TILESET_CELL_HEIGHT = 48;
constexpr int TILESET_COLUMNS = 9;
// The smallest tile set that holds all FACE_COUNT faces.
constexpr int TILESET_MIN_WIDTH = (TILESET_COLUMNS - 1) * TILESET_CELL_WIDTH + TILE_FACE_WIDTH;
constexpr int TILESET_MIN_HEIGHT =
    (FACE_COUNT - 1) / TILESET_COLUMNS * TILESET_CELL_HEIGHT + TILE_FACE_HEIGHT;

// A tile-set picture too small to hold the faces (TILESET_MIN_WIDTH x
// TILESET_MIN_HEIGHT): refused so that no face is read outside its pixels.
// Follows the decoder's own codes.
constexpr int TILESET_ERR_TOO_SMALL = 12;

// The number of the tile-set / background file last tried; -1 before the first.
extern int32_t tileset_index;
extern int32_t background_index;

// The current tile set, from which the board takes its faces; lives for the
// whole run, holds no picture until the first next_tileset.
extern IndexedImage tileset_image;

// Loads the next tile set ("data/tiles%d.pcx"), wrapping to 0 after the last
// one that loads; a picture too small for all the faces counts as not loading.
// 0 on success, else the code for picture 0, in which case tileset_image holds
// no picture.
int next_tileset();

// Loads the next background ("data/bg%d.pcx"), tiles it over the screen and
// makes it save buffer 0. 0 on success, else the loader's code for picture 0,
// in which case the screen and save buffer 0 are untouched.
int next_background();
