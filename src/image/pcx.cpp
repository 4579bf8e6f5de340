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

uint8_t* read_buffer;
int read_fd = -1;
int32_t read_left;
const uint8_t* read_ptr;

namespace {

constexpr int PCX_MANUFACTURER = 10;
constexpr int PCX_VERSION = 5;
constexpr int PCX_ENCODING_RLE = 1;
constexpr int RUN_MARK = 0xC0;       // a byte above 0xBF starts a run
constexpr int RUN_COUNT_MASK = 0x3F; // its low six bits are the count
constexpr uint8_t MISSING_BYTE = 0xFF;
constexpr int HEADER_PALETTE_BYTES = 48;
constexpr int HEADER_PALETTE_COLOURS = 16;
constexpr int PIXEL_BITS = 8; // planes beyond the eighth set no bit of a pixel
// Beyond this no header can claim more scan-line data; keeps the bound in range.
constexpr int64_t MAX_COUNTED_FILE = int64_t{1} << 40;

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

// The size of the open file, or -1 when it is not a regular file.
int64_t regular_file_size() {
    struct stat info {};
    if (fstat(read_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return -1;
    }
    return info.st_size;
}

// Refuses a picture that would take more memory than the game allows or that
// the file is far too short to describe.
int check_size(const PcxHeader& header, int64_t file_size) {
    int64_t pixels = int64_t{header.width} * header.height;
    if (pixels > PCX_MAX_PIXELS) {
        return PCX_ERR_TOO_LARGE;
    }
    int64_t data = std::clamp<int64_t>(file_size - PCX_HEADER_SIZE, 0, MAX_COUNTED_FILE);
    int64_t decodable = PCX_MAX_RUN * ((data + 1) / 2) + PCX_SHORT_FILE_SLACK;
    int64_t claimed = int64_t{header.bytes_per_line} * header.planes * header.height;
    if (claimed > decodable || pixels > PIXEL_BITS * decodable) {
        return PCX_ERR_SHORT_FILE;
    }
    return PCX_OK;
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
int read_header(PcxHeader* header, int64_t file_size) {
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
    int code = check_size(*header, file_size);
    if (code != PCX_OK) {
        return code;
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

// Decodes every row into pixels (cleared beforehand), through line.
void decode_rows(const PcxHeader& header, uint8_t* line, size_t length, uint8_t* pixels) {
    bool data_left = true;
    size_t width = static_cast<size_t>(header.width);
    size_t copied = std::min<size_t>(width, static_cast<size_t>(header.bytes_per_line));
    for (int32_t y = 0; y < header.height; ++y) {
        // Once the file has ended every byte would read as missing: skip the reader.
        if (data_left) {
            data_left = expand_line(line, length);
        } else {
            std::memset(line, MISSING_BYTE, length);
        }
        uint8_t* row = pixels + static_cast<size_t>(y) * width;
        if (header.bits == 8) {
            std::memcpy(row, line, copied);
        } else {
            put_planar_row(header, line, row);
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
    auto* pixels = static_cast<uint8_t*>(std::malloc(pixel_count));
    // One spare byte, so that a header giving empty lines still gets a buffer.
    auto* line = static_cast<uint8_t*>(std::malloc(length + 1));
    if (pixels == nullptr || line == nullptr) {
        std::free(pixels);
        std::free(line);
        return PCX_ERR_NO_MEMORY;
    }
    std::memset(pixels, 0, pixel_count);
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
    int64_t file_size = regular_file_size();
    if (file_size < 0) {
        return PCX_ERR_OPEN;
    }
    PcxHeader header{};
    int code = read_header(&header, file_size);
    if (code != PCX_OK) {
        return code;
    }
    return decode_picture(header, image);
}

} // namespace

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
