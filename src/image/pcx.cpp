// The buffered file reader and the PCX decoder: the game's door to picture files.
#include "image/pcx.hpp"

#include "frame/services.hpp"
#include "platform/display.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int READ_BUFFER_SIZE = 1024;
constexpr int PCX_HEADER_SIZE = 128;
constexpr int PCX_PALETTE_SIZE = 768;
constexpr int PCX_MANUFACTURER = 10;
constexpr int PCX_VERSION = 5;
constexpr int PCX_ENCODING_RLE = 1;
constexpr int RUN_MARK = 0xC0;       // a byte above 0xBF starts a run
constexpr int RUN_COUNT_MASK = 0x3F; // its low six bits are the count
constexpr uint8_t MISSING_BYTE = 0xFF;
constexpr int HEADER_PALETTE_BYTES = 48;
constexpr int HEADER_PALETTE_COLOURS = 16;
constexpr int PIXEL_BITS = 8; // planes beyond the eighth set no bit of a pixel

// The byte reader: one file at a time. The buffer lives from the first
// reader_reset to the end of the process; the rest is valid inside pcx_load.
uint8_t* read_buffer;    // READ_BUFFER_SIZE bytes
int read_fd = -1;        // the file being read, -1 outside pcx_load
int32_t read_left;       // bytes of read_buffer not yet delivered
const uint8_t* read_ptr; // the next byte of read_buffer to deliver

// Prepares the reader for a new file: allocates the read buffer on first use
// (ends the program through fatal_no_memory if it cannot) and forgets any
// bytes of an earlier file.
void reader_reset() {
    if (read_buffer == nullptr) {
        read_buffer = static_cast<uint8_t*>(std::malloc(READ_BUFFER_SIZE));
        if (read_buffer == nullptr) {
            fatal_no_memory(NO_MEMORY_READ_BUFFER);
        }
    }
    read_left = 0;
    read_ptr = read_buffer;
}

// The next byte of the open file, 0..255, or -1 at its end.
int reader_next_byte() {
    if (read_left <= 0) {
        ssize_t got = read(read_fd, read_buffer, READ_BUFFER_SIZE);
        if (got <= 0) {
            read_left = 0;
            return -1;
        }
        read_left = static_cast<int32_t>(got);
        read_ptr = read_buffer;
    }
    --read_left;
    return *read_ptr++;
}

// What the decoder keeps of a header.
struct PcxHeader {
    int bits;
    int planes;
    int32_t width;
    int32_t height;
    int32_t bytes_per_line;
    uint8_t palette16[HEADER_PALETTE_BYTES];
};

// A two-byte little-endian field; bytes past the end count as 0xFF.
int32_t read_u16() {
    int low = reader_next_byte() & 255;
    int high = reader_next_byte() & 255;
    return low | high << 8;
}

void skip_bytes(int count) {
    for (int i = 0; i < count; ++i) {
        reader_next_byte();
    }
}

// Only a regular file is read: a pipe or a device could block or never end.
bool is_regular_file() {
    struct stat info {};
    return fstat(read_fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Header bytes 4 to 11: the window, which must hold at least one pixel.
int read_window(PcxHeader* header) {
    int32_t xmin = read_u16();
    int32_t ymin = read_u16();
    int32_t xmax = read_u16();
    int32_t ymax = read_u16();
    header->width = xmax - xmin + 1;
    header->height = ymax - ymin + 1;
    return header->width > 0 && header->height > 0 ? PCX_OK : PCX_ERR_WINDOW;
}

// Reads the 128 header bytes in file order, each check made as its byte arrives.
int read_header(PcxHeader* header) {
    if (reader_next_byte() != PCX_MANUFACTURER) {
        return PCX_ERR_MANUFACTURER;
    }
    if (reader_next_byte() != PCX_VERSION) {
        return PCX_ERR_VERSION;
    }
    if (reader_next_byte() != PCX_ENCODING_RLE) {
        return PCX_ERR_ENCODING;
    }
    header->bits = reader_next_byte();
    if (header->bits != 1 && header->bits != 8) {
        return PCX_ERR_DEPTH;
    }
    if (read_window(header) != PCX_OK) {
        return PCX_ERR_WINDOW;
    }
    skip_bytes(4); // the resolution
    for (uint8_t& component : header->palette16) {
        component = static_cast<uint8_t>(reader_next_byte());
    }
    skip_bytes(1);
    header->planes = reader_next_byte() & 255;
    if (header->bits == 8 && header->planes != 1) {
        return PCX_ERR_PLANES;
    }
    header->bytes_per_line = read_u16();
    if (int64_t{header->width} * header->height > PCX_MAX_PIXELS) {
        return PCX_ERR_TOO_LARGE;
    }
    skip_bytes(PCX_HEADER_SIZE - 68); // palette type, screen size, filler
    return PCX_OK;
}

// Expands one scan line of length bytes into line. Runs are cut at the line's
// end. Returns false when the data ended: the rest of the line is then 0xFF.
bool expand_line(uint8_t* line, size_t length) {
    size_t at = 0;
    while (at < length) {
        int code = reader_next_byte();
        if (code < RUN_MARK) {
            if (code < 0) {
                std::memset(line + at, MISSING_BYTE, length - at);
                return false;
            }
            line[at++] = static_cast<uint8_t>(code);
            continue;
        }
        int value = reader_next_byte();
        size_t count = std::min<size_t>(code & RUN_COUNT_MASK, length - at);
        std::memset(line + at, value & 255, count);
        at += count;
    }
    return true;
}

// ORs bit p into the first count pixels of out, from the bits of one plane
// byte, most significant first.
void put_plane_bits(unsigned bits, int p, uint8_t* out, int count) {
    for (int k = 0; k < count; ++k) {
        out[k] = static_cast<uint8_t>(out[k] | ((bits >> (7 - k)) & 1) << p);
    }
}

// Sets bit p of each pixel whose bit is 1 in plane p; columns past the
// line's data are left alone.
void put_planar_row(const PcxHeader& header, const uint8_t* line, uint8_t* row) {
    auto columns =
        static_cast<int32_t>(std::min<int64_t>(header.width, int64_t{8} * header.bytes_per_line));
    int planes = std::min(header.planes, PIXEL_BITS);
    for (int p = 0; p < planes; ++p) {
        const uint8_t* plane = line + static_cast<size_t>(p) * header.bytes_per_line;
        int32_t whole = columns / 8;
        for (int32_t i = 0; i < whole; ++i) {
            put_plane_bits(plane[i], p, row + 8 * i, 8);
        }
        if (columns % 8 != 0) {
            put_plane_bits(plane[whole], p, row + 8 * whole, columns % 8);
        }
    }
}

// Once the data has ended every line byte is 0xFF, so each remaining row is
// known at once: the value and the number of columns it fills (columns past
// the line's data stay 0).
void fill_missing_rows(const PcxHeader& header, int32_t first_row, uint8_t* pixels) {
    size_t width = static_cast<size_t>(header.width);
    size_t columns = static_cast<size_t>(header.bytes_per_line);
    auto value = MISSING_BYTE;
    if (header.bits == 1) {
        columns *= 8;
        value = static_cast<uint8_t>((1u << std::min(header.planes, PIXEL_BITS)) - 1);
    }
    columns = std::min(columns, width);
    for (int32_t y = first_row; y < header.height; ++y) {
        std::memset(pixels + static_cast<size_t>(y) * width, value, columns);
    }
}

// Decodes every row into pixels (cleared beforehand), through line.
void decode_rows(const PcxHeader& header, uint8_t* line, size_t length, uint8_t* pixels) {
    size_t width = static_cast<size_t>(header.width);
    size_t copied = std::min<size_t>(width, static_cast<size_t>(header.bytes_per_line));
    for (int32_t y = 0; y < header.height; ++y) {
        bool data_left = expand_line(line, length);
        uint8_t* row = pixels + static_cast<size_t>(y) * width;
        if (header.bits == 8) {
            std::memcpy(row, line, copied);
        } else {
            put_planar_row(header, line, row);
        }
        if (!data_left) {
            fill_missing_rows(header, y + 1, pixels);
            return;
        }
    }
}

// The 256 triples at the end of an 8-bit file; components past the end are 255.
void read_file_palette(uint32_t* palette) {
    lseek(read_fd, -PCX_PALETTE_SIZE, SEEK_END);
    read_left = 0;
    for (int i = 0; i < PCX_PALETTE_SIZE / 3; ++i) {
        int red = reader_next_byte();
        int green = reader_next_byte();
        int blue = reader_next_byte();
        palette[i] = map_rgb(red, green, blue);
    }
}

void read_header_palette(const PcxHeader& header, uint32_t* palette) {
    for (int i = 0; i < HEADER_PALETTE_COLOURS; ++i) {
        const uint8_t* rgb = header.palette16 + 3 * i;
        palette[i] = map_rgb(rgb[0], rgb[1], rgb[2]);
    }
}

// Allocates the buffers, decodes pixels and palette, and fills the record.
int decode_picture(const PcxHeader& header, IndexedImage* image) {
    size_t pixel_count = static_cast<size_t>(header.width) * static_cast<size_t>(header.height);
    size_t length = static_cast<size_t>(header.bytes_per_line) * header.planes;
    auto* pixels = static_cast<uint8_t*>(std::calloc(pixel_count, 1));
    // One spare byte, so that a header giving empty lines still gets a buffer.
    auto* line = static_cast<uint8_t*>(std::malloc(length + 1));
    if (pixels == nullptr || line == nullptr) {
        std::free(pixels);
        std::free(line);
        return PCX_ERR_NO_MEMORY;
    }
    decode_rows(header, line, length, pixels);
    std::free(line);
    if (header.bits == 8) {
        read_file_palette(image->palette);
    } else {
        read_header_palette(header, image->palette);
    }
    image->pixels = pixels;
    image->width = header.width;
    image->height = header.height;
    return PCX_OK;
}

int load_open_file(IndexedImage* image) {
    if (!is_regular_file()) {
        return PCX_ERR_OPEN;
    }
    PcxHeader header{};
    int code = read_header(&header);
    if (code != PCX_OK) {
        return code;
    }
    return decode_picture(header, image);
}

} // namespace

int pcx_load(const char* path, IndexedImage* image) {
    reader_reset();
    *image = IndexedImage{};
    // Non-blocking, so that a pipe cannot hang the open; regular files ignore it.
    read_fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (read_fd < 0) {
        return PCX_ERR_OPEN;
    }
    int code = load_open_file(image);
    close(read_fd);
    read_fd = -1;
    return code;
}

void image_free(IndexedImage* image) {
    if (image->pixels != nullptr) {
        std::free(image->pixels);
        image->pixels = nullptr;
    }
}
