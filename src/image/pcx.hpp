// The buffered file reader and the PCX decoder: the game's door to picture files.
#pragma once

#include <cstdint>

// A decoded picture: one colour index per pixel and the palette as screen pixel values.
struct IndexedImage {
    uint32_t palette[256]; // colour index -> screen pixel value; 0 where the file has none
    uint8_t* pixels;       // width x height indices, rows width bytes apart; owned
    int32_t width;
    int32_t height;
};

// Results of pcx_load.
constexpr int PCX_OK = 0;
constexpr int PCX_ERR_OPEN = 1;         // the file cannot be opened
constexpr int PCX_ERR_MANUFACTURER = 2; // byte 0 is not 10 (also an empty file)
constexpr int PCX_ERR_VERSION = 3;      // version is not 5
constexpr int PCX_ERR_ENCODING = 4;     // not run-length encoded
constexpr int PCX_ERR_DEPTH = 5;        // bits per pixel neither 1 nor 8
constexpr int PCX_ERR_PLANES = 6;       // 8 bits per pixel in more or fewer than one plane
constexpr int PCX_ERR_NO_MEMORY = 8;    // the pixel or scan-line buffer cannot be allocated
constexpr int PCX_ERR_WINDOW = 9;       // xmax below xmin or ymax below ymin: no pixels at all
constexpr int PCX_ERR_TOO_LARGE = 10;   // more than PCX_MAX_PIXELS pixels

// The largest picture taken, 8192 x 8192 pixels (one byte each).
constexpr int64_t PCX_MAX_PIXELS = int64_t{8192} * 8192;

// Decodes the PCX file at path into image, whose old content is overwritten
// without being released. Returns PCX_OK or a PCX_ERR_* code; on failure the
// record is left cleared and the file closed. Needs the display open (the
// palette is converted to its pixel format). Only regular files are read: a
// directory, device or pipe gives PCX_ERR_OPEN without blocking. Data missing
// at the end of the file decodes as 0xFF bytes; columns beyond a scan line's
// data hold index 0. The first call allocates the reader's buffer, kept for
// the whole run; if it cannot, the program ends through fatal_no_memory.
int pcx_load(const char* path, IndexedImage* image);

// Releases the pixel buffer, if any; palette and size stay.
void image_free(IndexedImage* image);
